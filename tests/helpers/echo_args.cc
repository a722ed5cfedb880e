// Test helper: appends what it was given to "args.txt" in its working
// directory: a line "cwd=<working directory>", then one line "[argument]"
// per argument after the program name. Two arguments also act:
//   --sleep=MS  waits MS milliseconds before writing (so a file that is
//               present tells that the program has ended);
//   --exit=N    ends with exit code N (default 0);
//   --detach    starts the program again without this argument, detached,
//               and ends at once without writing (a program that keeps
//               running after its starter has seen it end).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

void SleepMs(long ms) {
  if (ms <= 0) return;
#ifdef _WIN32
  Sleep(static_cast<DWORD>(ms));
#else
  timespec left{static_cast<time_t>(ms / 1000), (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
#endif
}

bool CurrentDirectory(char* buffer, unsigned size) {
#ifdef _WIN32
  const DWORD n = GetCurrentDirectoryA(size, buffer);
  return n > 0 && n < size;
#else
  return getcwd(buffer, size) != nullptr;
#endif
}

// Starts this program again with the arguments other than --detach; in the
// POSIX build the started copy is this very process, forked. Returns true in
// the starter, which then ends; false in the copy, which goes on.
bool Detach(int& argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--detach") != 0) argv[kept++] = argv[i];
  argc = kept;
  argv[argc] = nullptr;
#ifdef _WIN32
  char module[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return true;
  std::string line = std::string("\"") + module + "\"";
  for (int i = 1; i < argc; ++i) {
    const bool blank = std::strchr(argv[i], ' ') != nullptr;
    line += blank ? std::string(" \"") + argv[i] + "\""
                  : std::string(" ") + argv[i];
  }
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  if (CreateProcessA(module, &line[0], nullptr, nullptr, FALSE,
                     DETACHED_PROCESS, nullptr, nullptr, &startup, &info)) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  return true;
#else
  const pid_t pid = fork();
  if (pid != 0) return true;
  setsid();
  return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--detach") == 0) {
      if (Detach(argc, argv)) return 0;
      break;
    }
  int exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--sleep=", 8) == 0)
      SleepMs(std::strtol(argv[i] + 8, nullptr, 10));
    else if (std::strncmp(argv[i], "--exit=", 7) == 0)
      exitCode = static_cast<int>(std::strtol(argv[i] + 7, nullptr, 10));
  }
  char cwd[4096];
  if (!CurrentDirectory(cwd, sizeof cwd)) std::strcpy(cwd, "?");
  std::FILE* out = std::fopen("args.txt", "ab");
  if (out == nullptr) return 99;
  std::fprintf(out, "cwd=%s\n", cwd);
  for (int i = 1; i < argc; ++i) std::fprintf(out, "[%s]\n", argv[i]);
  std::fclose(out);
  return exitCode;
}
