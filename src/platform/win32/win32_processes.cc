// Starting programs, waiting for them, and finding a running program by its
// executable.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

#include <tlhelp32.h>

#include <cstring>
#include <vector>

namespace {

// Rights for waiting on a process found by WAITAPP: SYNCHRONIZE together
// with STANDARD_RIGHTS_REQUIRED, not the full access mask.
constexpr DWORD kWaitAccess = SYNCHRONIZE | STANDARD_RIGHTS_REQUIRED;
static_assert(kWaitAccess == 0x001F0000, "wait access");
// PROCESS_QUERY_INFORMATION | PROCESS_VM_READ: enough for the module list.
constexpr DWORD kQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
static_assert(kQueryAccess == 0x410, "query access");
constexpr DWORD kModuleSlots = 1024;

using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

// The handles of a started or opened process. The thread handle (of a
// started one) is closed before the process handle.
class Win32ProcessHandle : public ProcessHandle {
 public:
  Win32ProcessHandle(HANDLE process, HANDLE thread)
      : process_(process), thread_(thread) {}
  ~Win32ProcessHandle() override {
    thread_.Reset();
    process_.Reset();
  }

  bool WaitForExit(uint32_t timeoutMs) override {
    return WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_FAILED;
  }

  bool WaitUntilIdle(uint32_t timeoutMs) override {
    return WaitForInputIdle(process_.Get(), timeoutMs) != WAIT_FAILED;
  }

 private:
  ScopedHandle process_;
  ScopedHandle thread_;
};

// Writes the full path of the process's executable over the snapshot's name
// for it, when the process can be opened for querying.
void TakeFullPath(DWORD processId, EnumProcessModulesFn enumModules,
                  GetModuleFileNameExFn moduleFileName, char* exeFile,
                  size_t exeFileSize) {
  ScopedHandle process(OpenProcess(kQueryAccess, FALSE, processId));
  if (!process.Valid()) return;
  std::vector<HMODULE> modules(kModuleSlots);
  DWORD needed = 0;
  if (!enumModules(process.Get(), modules.data(),
                   kModuleSlots * sizeof(HMODULE), &needed) ||
      needed < sizeof(HMODULE)) {
    return;
  }
  char path[MAX_PATH];
  DWORD n = moduleFileName(process.Get(), modules[0], path, MAX_PATH);
  if (n == 0) return;  // the snapshot's name stands
  if (n >= MAX_PATH) n = MAX_PATH - 1;
  if (n >= exeFileSize) n = static_cast<DWORD>(exeFileSize - 1);
  std::memcpy(exeFile, path, n);
  exeFile[n] = 0;
}

}  // namespace

std::unique_ptr<ProcessHandle> Win32Platform::StartProgram(
    const char* commandLine, const char* workDir) {
  if (commandLine == nullptr) return nullptr;
  // CreateProcessA may write into the command line.
  std::vector<char> line(commandLine, commandLine + std::strlen(commandLine));
  line.push_back(0);
  STARTUPINFOA startup;
  static_assert(sizeof(void*) != 4 || sizeof(startup) == 68,
                "STARTUPINFOA is 68 bytes in the 32-bit build");
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof(info));
  const char* directory =
      (workDir != nullptr && workDir[0] != 0) ? workDir : nullptr;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, directory, &startup, &info)) {
    return nullptr;
  }
  return std::make_unique<Win32ProcessHandle>(info.hProcess, info.hThread);
}

std::unique_ptr<ProcessHandle> Win32Platform::OpenForWait(
    uint32_t processId) {
  HANDLE process = OpenProcess(kWaitAccess, FALSE, processId);
  if (process == nullptr) return nullptr;
  return std::make_unique<Win32ProcessHandle>(process, nullptr);
}

uint32_t Win32Platform::FindProcessId(const char* name) {
  if (name == nullptr) return 0;
  PROCESSENTRY32 entry;
  static_assert(sizeof(void*) != 4 || sizeof(entry) == 296,
                "PROCESSENTRY32 is 296 bytes in the 32-bit build");
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);

  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return 0;

  // On the NT family the executables' full paths come from PSAPI, loaded
  // at run time; without it no process is ever found there.
  bool nt = IsNt();
  ScopedLibrary psapi;
  EnumProcessModulesFn enumModules = nullptr;
  GetModuleFileNameExFn moduleFileName = nullptr;
  if (nt) {
    psapi.Reset(LoadLibraryA("PSAPI.DLL"));
    if (!psapi.Valid()) return 0;
    enumModules =
        ProcAddress<EnumProcessModulesFn>(psapi.Get(), "EnumProcessModules");
    if (enumModules == nullptr) return 0;
    moduleFileName = ProcAddress<GetModuleFileNameExFn>(
        psapi.Get(), "GetModuleFileNameExA");
    if (moduleFileName == nullptr) return 0;
  }

  DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32First(snapshot.Get(), &entry); more;
       more = Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == self) continue;
    if (nt) {
      TakeFullPath(entry.th32ProcessID, enumModules, moduleFileName,
                   entry.szExeFile, sizeof(entry.szExeFile));
    }
    if (lstrcmpiA(entry.szExeFile, name) == 0) return entry.th32ProcessID;
  }
  return 0;
}
