// Lookup of installed applications under the App Paths registry keys, and
// the small read-only registry key it is built on.
#include "settings/app_path.h"

#include "platform/platform.h"

namespace {

constexpr const char* kAppPathsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The key's default value holds the program's full path; "PATH" its
// directories, separated by ";".
constexpr const char* kExecutableValue = "";
constexpr const char* kPathListValue = "PATH";

// A value larger than this is not read: no path or path list needs it, and
// a size reported by a damaged registry must not decide an allocation.
constexpr uint32_t kMaxValueSize = 1u << 20;

}  // namespace

RegKey::RegKey(Platform& platform, uintptr_t root, const char* subKey)
    : platform_(platform), root_(root), subKey_(subKey) {}

RegKey::~RegKey() { Close(); }

bool RegKey::Open(uint32_t access) {
  Close();
  if (root_ == 0) return false;
  uintptr_t handle = 0;
  if (!platform_.RegOpen(root_, subKey_.Text(), access, handle)) return false;
  handle_ = handle;
  return handle_ != 0;
}

uint32_t RegKey::ValueSize(const char* valueName) {
  if (handle_ == 0) return 0;
  uint32_t size = 0;
  if (!platform_.RegQuery(handle_, valueName, nullptr, size)) return 0;
  return size;
}

// The buffer is one byte larger than the value and zero-filled, so the text
// is terminated even when the value's data is not.
bool RegKey::QueryString(const char* valueName, StrBuf& out) {
  uint32_t size = ValueSize(valueName);
  if (size == 0 || size > kMaxValueSize) return false;
  if (!out.Allocate(size + 1)) return false;
  return platform_.RegQuery(handle_, valueName, out.Buffer(), size);
}

void RegKey::Close() {
  if (handle_ == 0) return;
  platform_.RegClose(handle_);
  handle_ = 0;
}

bool RegKey::ReadString(const char* valueName, StrBuf& out) {
  bool result = false;
  if (Open(kKeyRead)) result = QueryString(valueName, out);
  Close();
  return result;
}

bool FindAppPath(Platform& platform, const StrBuf& name, StrBuf& out,
                 AppPathValue what) {
  const StrBuf keyPath = StrBuf(kAppPathsKey).Concat(name);
  RegKey key(platform, kHkeyLocalMachine, keyPath.Text());
  return key.ReadString(
      what == AppPathValue::kExecutable ? kExecutableValue : kPathListValue,
      out);
}
