// Application-path lookup: the App Paths keys of the registry, read with the
// small read-only key class RegKey.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

namespace {

constexpr const char* kAppPathsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The key's default value holds the program's full path; "PATH" its
// directories, separated by ";".
constexpr const char* kExecutableValue = "";
constexpr const char* kPathListValue = "PATH";

// A value larger than this is not read: no path or path list needs it, and
// a size reported by a damaged registry must not decide an allocation.
constexpr DWORD kMaxValueSize = 1u << 20;

// A registry key opened for reading; it owns its handle, closed by Close,
// by the next Open and by the destructor.
class RegKey {
 public:
  RegKey(HKEY root, const char* subKey) : root_(root), subKey_(subKey) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  virtual ~RegKey() { Close(); }

  bool Open(REGSAM access) {
    Close();
    if (root_ == nullptr) return false;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root_, subKey_.Text(), 0, access, &handle) !=
        ERROR_SUCCESS) {
      return false;
    }
    handle_ = handle;
    return handle_ != nullptr;
  }

  // The data size of a value; 0 when the key is not open or the value is
  // missing.
  DWORD ValueSize(const char* valueName) {
    if (handle_ == nullptr) return 0;
    DWORD size = 0;
    if (RegQueryValueExA(handle_, valueName, nullptr, nullptr, nullptr,
                         &size) != ERROR_SUCCESS) {
      return 0;
    }
    return size;
  }

  // The buffer is one byte larger than the value and zero-filled, so the
  // text is terminated even when the value's data is not.
  bool QueryString(const char* valueName, StrBuf& out) {
    DWORD size = ValueSize(valueName);
    if (size == 0 || size > kMaxValueSize) return false;
    if (!out.Allocate(size + 1)) return false;
    return RegQueryValueExA(handle_, valueName, nullptr, nullptr,
                            reinterpret_cast<BYTE*>(out.Buffer()),
                            &size) == ERROR_SUCCESS;
  }

  void Close() {
    if (handle_ == nullptr) return;
    // A close that fails leaves nothing to do: the handle is gone either
    // way.
    (void)RegCloseKey(handle_);
    handle_ = nullptr;
  }

  bool ReadString(const char* valueName, StrBuf& out) {
    bool result = false;
    if (Open(KEY_READ)) result = QueryString(valueName, out);
    Close();
    return result;
  }

 private:
  HKEY root_;
  StrBuf subKey_;
  HKEY handle_ = nullptr;
};

}  // namespace

bool Win32Platform::FindAppPath(const char* name, AppPathValue what,
                                StrBuf& out) {
  const StrBuf keyPath = StrBuf(kAppPathsKey).Concat(name);
  RegKey key(HKEY_LOCAL_MACHINE, keyPath.Text());
  return key.ReadString(
      what == AppPathValue::kExecutable ? kExecutableValue : kPathListValue,
      out);
}
