// A child process that lives until the test lets it go, so that a test of
// waiting asks "is it still running?" instead of timing a wait: a loaded
// machine makes every wait longer but cannot end this child early.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

class HeldChild {
 public:
  // The child ends `lingerMicroseconds` after Release().
  explicit HeldChild(useconds_t lingerMicroseconds = 0) {
    int fds[2];
    // Close-on-exec: no program the test starts holds the child.
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    id_ = fork();
    if (id_ == 0) {
      close(fds[1]);
      char c;
      while (read(fds[0], &c, 1) > 0) {
      }
      usleep(lingerMicroseconds);
      _exit(0);
    }
    close(fds[0]);
    if (id_ < 0) {
      close(fds[1]);
      return;
    }
    hold_ = fds[1];
  }
  ~HeldChild() {
    Release();
    if (id_ > 0 && !reaped_) {
      kill(id_, SIGKILL);
      waitpid(id_, nullptr, 0);
    }
  }
  HeldChild(const HeldChild&) = delete;
  HeldChild& operator=(const HeldChild&) = delete;

  pid_t id() const { return id_; }
  void Release() {
    if (hold_ >= 0) close(hold_);
    hold_ = -1;
  }
  // True while the child has not ended; it is not reaped.
  bool Running() const {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(id_), &info,
                  WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  }
  // Reaps the child; true when it was ours and had ended.
  bool Reap() {
    reaped_ = waitpid(id_, nullptr, 0) == id_;
    return reaped_;
  }

 private:
  pid_t id_ = -1;
  int hold_ = -1;
  bool reaped_ = false;
};
