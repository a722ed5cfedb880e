// State kept between runs: file stamps, exact attributes, the identity of
// a path, the private state folder, locks and private files.
#include "platform/win32/win32_platform.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>
#include <utility>

#include "platform/win32/win32_raii.h"

namespace {

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                            FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;

class Win32FileLock : public FileLock {
 public:
  explicit Win32FileLock(ScopedHandle&& file) : file_(std::move(file)) {}

 private:
  ScopedHandle file_;  // opened without sharing: that is the lock
};

class Win32PrivateFile : public AppendFile {
 public:
  explicit Win32PrivateFile(ScopedHandle&& file) : file_(std::move(file)) {}
  bool WriteLine(const std::string& text) override {
    return WriteLineTo(file_.Get(), text);
  }
  bool Flush() override { return FlushFileBuffers(file_.Get()) != FALSE; }

 private:
  ScopedHandle file_;
};

// The SID of the account of the process, as text; empty when unknown.
std::string UserSid() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return "";
  ScopedHandle token(raw);
  char buffer[256];
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer,
                           &size))
    return "";
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid,
                              &text))
    return "";
  std::string sid = text;
  (void)LocalFree(text);  // a free that fails leaves nothing to do
  return sid;
}

// The owner of path is this account, the administrators or the system:
// nobody else can have given others the right to write.
bool OwnedByTrusted(const char* path, const std::string& user) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                            &owner, nullptr, nullptr, nullptr,
                            &descriptor) != ERROR_SUCCESS)
    return false;
  bool trusted = owner != nullptr &&
                 (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                  IsWellKnownSid(owner, WinLocalSystemSid));
  if (!trusted && owner != nullptr) {
    char* text = nullptr;
    if (ConvertSidToStringSidA(owner, &text)) {
      trusted = user == text;
      (void)LocalFree(text);  // as above
    }
  }
  (void)LocalFree(descriptor);
  return trusted;
}

}  // namespace

bool Win32Platform::StampOf(const char* path, FileStamp& out) {
  ScopedHandle file(CreateFileA(
      path, FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
  if (!file.Valid()) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.Get(), &info)) return false;
  out.volume = info.dwVolumeSerialNumber;
  out.index = static_cast<uint64_t>(info.nFileIndexHigh) << 32 |
              info.nFileIndexLow;
  out.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 |
             info.nFileSizeLow;
  out.time = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
              info.ftLastWriteTime.dwLowDateTime) *
             100u;  // in nanoseconds
  out.mode = info.dwFileAttributes;
  out.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return true;
}

bool Win32Platform::SetExactMode(const char* path, uint32_t mode) {
  const DWORD now = GetFileAttributesA(path);
  if (now == INVALID_FILE_ATTRIBUTES ||
      (now & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  DWORD attributes = mode & kSettable;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesA(path, attributes) != FALSE;
}

bool Win32Platform::IdentityPath(const char* path, std::string& out) {
  // "\\?\" and "\\?\UNC\" name the same files as the plain spellings.
  std::string spelled = path;
  if (spelled.compare(0, 8, "\\\\?\\UNC\\") == 0)
    spelled = "\\\\" + spelled.substr(8);
  else if (spelled.compare(0, 4, "\\\\?\\") == 0)
    spelled = spelled.substr(4);
  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(spelled.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return false;
  if (GetFileAttributesA(full) == INVALID_FILE_ATTRIBUTES) return false;
  char longer[MAX_PATH * 2];
  DWORD m = GetLongPathNameA(full, longer, sizeof longer);
  std::string name = m > 0 && m < sizeof longer ? longer : full;
  // One case: the file system does not tell names by it.
  if (!name.empty())
    CharUpperBuffA(&name[0], static_cast<DWORD>(name.size()));
  out = name;
  return true;
}

bool Win32Platform::PrivateStateDirectory(std::string& out, bool create) {
  // The account's own local application data (%UPDATER_STATE_HOME% or
  // %LOCALAPPDATA% where set, else the profile's folder), also when
  // elevated: only this account, the administrators and the system can
  // have written to it; that is checked, wherever it is.
  std::string folder;
  if ((!GetEnv("UPDATER_STATE_HOME", folder) || folder.empty()) &&
      (!GetEnv("LOCALAPPDATA", folder) || folder.empty())) {
    StrBuf base;
    if (!SpecialFolder(CSIDL_LOCAL_APPDATA, base) || base.IsEmpty())
      return false;
    folder = base.Text();
  }
  if (folder.back() != '\\') folder += '\\';
  folder += "updater";
  out = folder;  // named when it cannot be used
  if (!create && GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
    return false;
  const std::string user = UserSid();
  if (user.empty()) return false;
  // Made for the account, the administrators and the system only.
  const std::string rules =
      "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          rules.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  const bool made = CreateDirectoryA(folder.c_str(), &security) != FALSE ||
                    GetLastError() == ERROR_ALREADY_EXISTS;
  (void)LocalFree(descriptor);  // a free that fails leaves nothing to do
  if (!made) return false;
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
         OwnedByTrusted(folder.c_str(), user);
}

std::unique_ptr<FileLock> Win32Platform::TryLock(const char* path,
                                                 LockResult& result) {
  // No sharing: a second open fails while this handle lives, and the
  // handle goes with the process, however it ends. Not inherited.
  ScopedHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.Valid()) {
    result = GetLastError() == ERROR_SHARING_VIOLATION ? LockResult::kHeld
                                                      : LockResult::kFailed;
    return nullptr;
  }
  result = LockResult::kTaken;
  return std::make_unique<Win32FileLock>(std::move(file));
}

std::unique_ptr<AppendFile> Win32Platform::CreatePrivateFile(
    const char* path) {
  // It takes the protected rules of the private folder. Deleting shared:
  // it is renamed into place while open.
  ScopedHandle file(CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return nullptr;
  return std::make_unique<Win32PrivateFile>(std::move(file));
}
