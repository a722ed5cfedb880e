// Files in use on Windows: the Restart Manager (rstrtmgr.dll, loaded when
// first needed, so that the program imports nothing it may lack) and the
// changes registered for the next restart (MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT, kept by the Session Manager in the value
// PendingFileRenameOperations).
#include <string>
#include <vector>

#include "platform/in_use.h"
#include "win32_raii.h"

#include <restartmanager.h>  // after <windows.h>, which it needs

namespace {

const char kSessionManagerKey[] =
    "System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring Wide(const char* text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n) != n)
    return std::wstring();
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Ansi(const wchar_t* text) {
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr,
                          nullptr) != n)
    return std::string();
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// The full path of an ANSI path, in UTF-16; empty when it cannot be told.
std::wstring FullWide(const std::string& path) {
  const std::wstring wide = Wide(path.c_str());
  if (wide.empty()) return wide;
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::wstring();
  std::wstring out(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, &out[0], nullptr);
  if (n == 0 || n >= out.size()) return std::wstring();
  out.resize(n);
  return out;
}

// A path of the pending operations without its NT prefix ("\??\") and,
// for a replacement's target, its leading "!".
std::wstring PendingPath(std::wstring text) {
  if (!text.empty() && text[0] == L'!') text.erase(0, 1);
  if (text.compare(0, 4, L"\\??\\") == 0) text.erase(0, 4);
  return text;
}

// An open registry key, closed by the destructor.
class ScopedKey {
 public:
  explicit ScopedKey(HKEY key) : key_(key) {}
  // A close that fails leaves nothing to do: the handle is gone either way.
  ~ScopedKey() { (void)RegCloseKey(key_); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

 private:
  HKEY key_;
};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1,
                        b.c_str(), -1) == CSTR_EQUAL;
}

// The Restart Manager's functions, found at run time.
struct RestartManager {
  decltype(&RmStartSession) start = nullptr;
  decltype(&RmRegisterResources) registerResources = nullptr;
  decltype(&RmGetList) getList = nullptr;
  decltype(&RmShutdown) shutdown = nullptr;
  decltype(&RmRestart) restart = nullptr;
  decltype(&RmEndSession) end = nullptr;
};

template <typename F>
bool Find(HMODULE module, const char* name, F& out) {
  out = ProcAddress<F>(module, name);
  return out != nullptr;
}

// One Restart Manager session, ended by the destructor.
class RmSession {
 public:
  explicit RmSession(const RestartManager& rm) : rm_(rm) {
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    open_ = rm_.start(&handle_, 0, key) == ERROR_SUCCESS;
  }
  ~RmSession() {
    // A session that cannot be ended is ended with the process.
    if (open_) (void)rm_.end(handle_);
  }
  RmSession(const RmSession&) = delete;
  RmSession& operator=(const RmSession&) = delete;

  bool Open() const { return open_; }
  bool Add(const char* path) {
    const std::wstring wide = Wide(path);
    LPCWSTR names[1] = {wide.c_str()};
    return open_ && !wide.empty() &&
           rm_.registerResources(handle_, 1, names, 0, nullptr, 0, nullptr) ==
               ERROR_SUCCESS;
  }
  // The programs that hold the files added; false when the list cannot
  // be had or the updater's own process is one of them.
  bool List(std::vector<std::string>& programs) {
    programs.clear();
    if (!open_) return false;
    std::vector<RM_PROCESS_INFO> info;
    for (int attempt = 0; attempt < 4; ++attempt) {
      UINT needed = 0;
      UINT count = static_cast<UINT>(info.size());
      DWORD reasons = 0;
      const DWORD result = rm_.getList(handle_, &needed, &count,
                                       info.empty() ? nullptr : info.data(),
                                       &reasons);
      if (result == ERROR_SUCCESS) {
        for (UINT i = 0; i < count && i < info.size(); ++i) {
          // The updater itself is never offered for closing.
          if (info[i].Process.dwProcessId == GetCurrentProcessId())
            return false;
          info[i].strAppName[CCH_RM_MAX_APP_NAME] = L'\0';
          programs.push_back(Ansi(info[i].strAppName));
        }
        return true;
      }
      if (result != ERROR_MORE_DATA) return false;
      info.assign(needed, RM_PROCESS_INFO());  // the list grew: ask again
    }
    return false;
  }
  bool Shutdown() {
    if (!open_) return false;
    shutDown_ = true;
    return rm_.shutdown(handle_, 0, nullptr) == ERROR_SUCCESS;  // not forced
  }
  // A program that cannot be started again is the user's to start: the
  // run is over, and nothing of it depends on that.
  void Restart() {
    if (open_ && shutDown_) (void)rm_.restart(handle_, 0, nullptr);
  }

 private:
  const RestartManager& rm_;
  DWORD handle_ = 0;
  bool open_ = false;
  bool shutDown_ = false;
};

class Win32InUseHandling : public InUseHandling {
 public:
  ~Win32InUseHandling() override { session_.reset(); }

  bool IsHeld(const char* path) override {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return false;
    // Opening for writing with every kind of sharing conflicts only with a
    // process that shares less; a loaded program image refuses it too.
    ScopedHandle file(CreateFileA(
        path, GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.Valid()) return false;
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
      return true;
    if (error != ERROR_ACCESS_DENIED || !Load()) return false;
    // Access denied: held only when the Restart Manager names a holder.
    RmSession probe(rm_);
    std::vector<std::string> programs;
    return probe.Add(path) && probe.List(programs) && !programs.empty();
  }

  bool ListHolders(const char* path,
                   std::vector<std::string>& programs) override {
    if (!Load()) return false;
    if (!session_) session_.reset(new RmSession(rm_));
    return session_->Add(path) && session_->List(programs);
  }

  bool CloseHolders() override {
    return session_ != nullptr && session_->Shutdown();
  }

  void RestartClosed() override {
    if (session_ != nullptr) session_->Restart();
    session_.reset();
  }

  bool CanRegisterAtRestart() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
      return false;
    const ScopedKey closer(key);
    return true;
  }

  bool RegisterAtRestart(const RestartChange& change) override {
    if (change.target.empty())
      return MoveFileExA(change.path.c_str(), nullptr,
                         MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    return MoveFileExA(change.path.c_str(), change.target.c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT |
                           MOVEFILE_REPLACE_EXISTING) != FALSE;
  }

  bool UnregisterAtRestart(const std::vector<RestartChange>& changes) override;

 private:
  bool Load() {
    if (loaded_) return rm_.end != nullptr;
    loaded_ = true;
    char directory[MAX_PATH];
    const UINT n = GetSystemDirectoryA(directory, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 16) return false;
    // From the system folder only, never from beside the program.
    module_.Reset(
        LoadLibraryA((std::string(directory, n) + "\\rstrtmgr.dll").c_str()));
    if (!module_.Valid()) return false;
    RestartManager rm;
    if (!Find(module_.Get(), "RmStartSession", rm.start) ||
        !Find(module_.Get(), "RmRegisterResources", rm.registerResources) ||
        !Find(module_.Get(), "RmGetList", rm.getList) ||
        !Find(module_.Get(), "RmShutdown", rm.shutdown) ||
        !Find(module_.Get(), "RmRestart", rm.restart) ||
        !Find(module_.Get(), "RmEndSession", rm.end))
      return false;
    rm_ = rm;
    return true;
  }

  bool loaded_ = false;
  ScopedLibrary module_;
  RestartManager rm_;
  std::unique_ptr<RmSession> session_;
};

// The pending operations are pairs of texts: a path, then an empty text
// (delete it) or "!" and a target (replace the target by it).
bool Win32InUseHandling::UnregisterAtRestart(
    const std::vector<RestartChange>& changes) {
  if (changes.empty()) return true;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, &opened) != ERROR_SUCCESS)
    return false;
  const ScopedKey closer(opened);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(opened, kPendingValue, nullptr, &type, nullptr,
                       &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_MULTI_SZ) return false;
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  if (RegQueryValueExW(opened, kPendingValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS)
    return false;
  std::vector<std::wstring> texts;
  const size_t count = size / sizeof(wchar_t);
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    if (data[i] != L'\0') continue;
    texts.emplace_back(data.data() + start, i - start);
    start = i + 1;
  }
  // A list ends with an empty text of its own; what follows the last pair
  // is not an operation.
  std::vector<bool> removed(texts.size(), false);
  bool allFound = true;
  for (const RestartChange& change : changes) {
    const std::wstring path = FullWide(change.path);
    const std::wstring target =
        change.target.empty() ? std::wstring() : FullWide(change.target);
    bool found = false;
    // The newest entry first: the one this run made.
    for (size_t i = (texts.size() & ~static_cast<size_t>(1)); i >= 2 && !found;
         i -= 2) {
      const size_t at = i - 2;
      if (removed[at] || texts[at].empty()) continue;
      if (!SamePath(PendingPath(texts[at]), path)) continue;
      const bool deletion = texts[at + 1].empty();
      if (deletion != target.empty()) continue;
      if (!deletion && !SamePath(PendingPath(texts[at + 1]), target)) continue;
      removed[at] = removed[at + 1] = true;
      found = true;
    }
    allFound = allFound && found;
  }
  std::vector<wchar_t> out;
  size_t pairs = 0;
  for (size_t i = 0; i + 1 < texts.size(); i += 2) {
    if (removed[i]) continue;
    if (texts[i].empty() && texts[i + 1].empty()) continue;
    for (size_t j = i; j <= i + 1; ++j) {
      out.insert(out.end(), texts[j].begin(), texts[j].end());
      out.push_back(L'\0');
    }
    ++pairs;
  }
  out.push_back(L'\0');
  LONG result;
  if (pairs == 0)
    result = RegDeleteValueW(opened, kPendingValue);
  else
    result = RegSetValueExW(opened, kPendingValue, 0, REG_MULTI_SZ,
                            reinterpret_cast<const BYTE*>(out.data()),
                            static_cast<DWORD>(out.size() * sizeof(wchar_t)));
  return result == ERROR_SUCCESS && allFound;
}

}  // namespace

std::unique_ptr<InUseHandling> CreateSystemInUseHandling() {
  return std::make_unique<Win32InUseHandling>();
}
