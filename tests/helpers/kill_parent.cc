// Test helper: ends the updater that started it at once, as a power loss
// would, then exits with code 0. The argument is the full path of that
// updater's program file: on POSIX (where the updater's started programs
// are not its direct children) every process running that very file gets
// SIGKILL; on Windows the parent process is ended by TerminateProcess (exit
// code 0) after its program file is checked against the argument. Exits
// with 1 when no such process was found or ended.
#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#else
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#endif

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '\0') return 1;
#ifdef _WIN32
  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more;
       more = Process32Next(snapshot, &entry))
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  if (parent == 0) return 1;
  HANDLE process = OpenProcess(
      PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
  if (process == nullptr) return 1;
  char image[MAX_PATH];
  DWORD size = MAX_PATH;
  BOOL ended = FALSE;
  if (QueryFullProcessImageNameA(process, 0, image, &size) &&
      lstrcmpiA(image, argv[1]) == 0)
    ended = TerminateProcess(process, 0);
  CloseHandle(process);
  return ended ? 0 : 1;
#else
  char wanted[PATH_MAX];
  if (realpath(argv[1], wanted) == nullptr) return 1;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 1;
  int ended = 0;
  const pid_t self = getpid();
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 1 || pid == self) continue;
    const std::string link = std::string("/proc/") + entry->d_name + "/exe";
    char exe[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), exe, sizeof exe - 1);
    if (n <= 0) continue;
    exe[n] = '\0';
    if (std::string(exe) == wanted &&
        kill(static_cast<pid_t>(pid), SIGKILL) == 0)
      ++ended;
  }
  closedir(proc);
  return ended > 0 ? 0 : 1;
#endif
}
