// Starting programs and waiting for them.
//
// A program is started through a short-lived intermediate process: the
// intermediate spawns the program and ends, and the updater reaps it at
// once. The program is thus never the updater's child: it outlives the
// updater, and no zombie is left whether it is waited for or not. Waits use
// a pidfd, which works for any process.
#include "platform/posix/processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/code_page.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"
#include "platform/stop_request.h"

extern char** environ;

std::vector<std::string> SplitCommandLine(const char* commandLine,
                                          const CodePage& cp) {
  std::vector<std::string> args;
  const char* p = commandLine == nullptr ? "" : commandLine;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };

  // The program: quotes group, backslashes are plain.
  std::string word;
  bool inQuote = false;
  while (*p != 0 && (inQuote || !blank(*p))) {
    if (*p == '"') {
      inQuote = !inQuote;
      ++p;
      continue;
    }
    const int n = cp.CharLength(p);
    word.append(p, n);
    p += n;
  }
  args.push_back(word);

  for (;;) {
    while (blank(*p)) ++p;
    if (*p == 0) break;
    std::string arg;
    inQuote = false;
    for (;;) {
      size_t slashes = 0;
      while (*p == '\\') {
        ++p;
        ++slashes;
      }
      if (*p == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg += '"';
          ++p;
        } else if (inQuote && p[1] == '"') {
          arg += '"';
          p += 2;
        } else {
          inQuote = !inQuote;
          ++p;
        }
        continue;
      }
      arg.append(slashes, '\\');
      if (*p == 0 || (!inQuote && blank(*p))) break;
      const int n = cp.CharLength(p);
      arg.append(p, n);
      p += n;
    }
    args.push_back(arg);
  }
  return args;
}

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// pidfd_open(2), called directly: older C libraries have no wrapper.
int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;  // read by OpenForWait: no pidfd, but no answer either
  return -1;
#endif
}

int64_t NowMs() {
  struct timespec ts;
  // Fails only for a clock the kernel does not know, which this is not.
  (void)clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// True when the process has ended (gone, or a zombie nobody reaped yet).
bool HasEnded(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return true;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char line[512];
  const bool got = std::fgets(line, sizeof line, f) != nullptr;
  (void)std::fclose(f);  // only read: its close loses nothing
  if (!got) return false;
  // "pid (comm) S ...": the state follows the last ')'.
  const char* close = std::strrchr(line, ')');
  return close != nullptr && close[1] == ' ' &&
         (close[2] == 'Z' || close[2] == 'X');
}

class PosixProcess : public ProcessHandle {
 public:
  // pidfd may hold nothing where the kernel refuses pidfds; waits then
  // poll the process table.
  PosixProcess(pid_t pid, UniqueFd pidfd)
      : pid_(pid), pidfd_(std::move(pidfd)) {}

  bool WaitForExit(uint32_t timeoutMs) override {
    const bool infinite = timeoutMs == kWaitInfinite;
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
      if (StopRequested()) return true;  // the run stops at its next step
      int64_t remaining = infinite ? -1 : deadline - NowMs();
      if (!infinite && remaining < 0) remaining = 0;
      if (!pidfd_.Valid()) {
        if (HasEnded(pid_) || remaining == 0) return true;
        (void)usleep(10000);  // cut short by a signal: the loop looks again
        continue;
      }
      struct pollfd fd = {pidfd_.Get(), POLLIN, 0};
      const int slice =
          infinite
              ? -1
              : static_cast<int>(remaining > INT_MAX ? INT_MAX : remaining);
      // Not retried at once when a signal interrupts it: the loop looks at
      // the stop request first, and waits only for what time is left.
      const int r = poll(&fd, 1, slice);
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) return false;
      if (r == 0 && !infinite && slice == remaining) return true;  // timed out
    }
  }

  // "Ready for input" has no meaning here: the start itself is the success.
  bool WaitUntilIdle(uint32_t) override { return true; }

 private:
  pid_t pid_;
  UniqueFd pidfd_;  // only waited on: nothing to lose when its close fails
};

// Everything the spawn needs, prepared before the intermediate is forked so
// that the intermediate only calls posix_spawn and plain system calls.
class SpawnPlan {
 public:
  SpawnPlan()
      : haveActions_(posix_spawn_file_actions_init(&actions_) == 0),
        haveAttr_(posix_spawnattr_init(&attr_) == 0) {}
  ~SpawnPlan() {
    // Destroying what was made fails only for an object never made.
    if (haveActions_) (void)posix_spawn_file_actions_destroy(&actions_);
    if (haveAttr_) (void)posix_spawnattr_destroy(&attr_);
  }
  SpawnPlan(const SpawnPlan&) = delete;
  SpawnPlan& operator=(const SpawnPlan&) = delete;

  bool Prepare(const char* commandLine, const char* workDir,
               const CodePage& cp) {
    if (!haveActions_ || !haveAttr_) return false;  // out of memory
    program_ = ProgramOfCommandLine(commandLine, cp);
    if (program_.empty()) return false;
    if (program_[0] != '/') {
      // Relative to the updater's directory, not to the program's own.
      char cwd[PATH_MAX];
      if (getcwd(cwd, sizeof cwd) == nullptr) return false;
      program_ = std::string(cwd) + "/" + program_;
    }
    args_ = SplitCommandLine(commandLine, cp);
    args_[0] = program_;
    for (std::string& arg : args_) argv_.push_back(&arg[0]);
    argv_.push_back(nullptr);

    // /dev/null for the standard descriptors, no other descriptor of the
    // updater, the program's folder as working directory (none given: the
    // updater's).
    if (posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY,
                                         0) != 0 ||
        posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY,
                                         0) != 0 ||
        posix_spawn_file_actions_adddup2(&actions_, 1, 2) != 0 ||
        (workDir != nullptr && workDir[0] != 0 &&
         posix_spawn_file_actions_addchdir_np(&actions_, workDir) != 0) ||
        posix_spawn_file_actions_addclosefrom_np(&actions_, 3) != 0)
      return false;
    // A session of its own, default signal handling, nothing blocked.
    sigset_t all;
    sigset_t none;
    return sigfillset(&all) == 0 && sigemptyset(&none) == 0 &&
           posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSID |
                                                POSIX_SPAWN_SETSIGDEF |
                                                POSIX_SPAWN_SETSIGMASK) ==
               0 &&
           posix_spawnattr_setsigdefault(&attr_, &all) == 0 &&
           posix_spawnattr_setsigmask(&attr_, &none) == 0;
  }

  // Returns 0 and the pid, or an error number.
  int Spawn(pid_t& pid) {
    return posix_spawn(&pid, program_.c_str(), &actions_, &attr_, argv_.data(),
                       environ);
  }

 private:
  std::string program_;
  std::vector<std::string> args_;
  std::vector<char*> argv_;
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
  bool haveActions_;
  bool haveAttr_;
};

struct SpawnReport {
  int error;
  pid_t pid;
};

}  // namespace

std::string ProgramOfCommandLine(const char* commandLine, const CodePage& cp) {
  const char* line = commandLine == nullptr ? "" : commandLine;
  if (line[0] != '"') {
    for (const char* p = line; *p != 0 && *p != '"'; p += cp.CharLength(p)) {
      if (*p != ' ' && *p != '\t') continue;
      std::string candidate(line, p);
      if (IsRegularFile(candidate)) return candidate;
    }
  }
  return SplitCommandLine(line, cp)[0];
}

std::unique_ptr<ProcessHandle> PosixPlatform::StartProgram(
    const char* commandLine, const char* workDir) {
  SpawnPlan plan;
  if (!plan.Prepare(commandLine, workDir, codePage_)) return nullptr;

  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
    return nullptr;
  UniqueFd mine(ends[0]);
  UniqueFd theirs(ends[1]);

  const pid_t intermediate = fork();
  if (intermediate < 0) return nullptr;
  if (intermediate == 0) {
    // The intermediate: spawn, report, wait until the updater holds the
    // program (so its pid cannot be reused meanwhile), end. Its copy of
    // the updater's end goes, so that the updater's close ends the wait.
    mine.Reset();
    SpawnReport report = {0, 0};
    report.error = plan.Spawn(report.pid);
    if (!WriteAll(theirs.Get(), &report, sizeof report)) _exit(1);
    char c;
    // Whatever the read returns, the updater holds the program or is gone.
    (void)RetryOnInterrupt([&] { return read(theirs.Get(), &c, 1); });
    _exit(0);
  }

  theirs.Reset();
  SpawnReport report = {0, 0};
  const bool reported = ReadAll(mine.Get(), &report, sizeof report);
  UniqueFd pidfd;
  if (reported && report.error == 0) pidfd.Reset(OpenPidFd(report.pid));
  mine.Reset();  // lets the intermediate end
  // The intermediate is the updater's own child: waitpid fails only when
  // interrupted, and is then called again.
  (void)RetryOnInterrupt([&] { return waitpid(intermediate, nullptr, 0); });
  if (!reported || report.error != 0) return nullptr;
  return std::make_unique<PosixProcess>(report.pid, std::move(pidfd));
}

std::unique_ptr<ProcessHandle> PosixPlatform::OpenForWait(uint32_t processId) {
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX))
    return nullptr;
  const pid_t pid = static_cast<pid_t>(processId);
  UniqueFd pidfd(OpenPidFd(pid));
  if (pidfd.Valid())
    return std::make_unique<PosixProcess>(pid, std::move(pidfd));
  if (errno == ESRCH || HasEnded(pid)) return nullptr;
  return std::make_unique<PosixProcess>(pid, UniqueFd());
}
