// The transcript's file: opened for appending without ever waiting, then
// written line by line with blocking writes.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_platform.h"

namespace {

class PosixAppendFile : public AppendFile {
 public:
  PosixAppendFile() = default;
  PosixAppendFile(const PosixAppendFile&) = delete;
  PosixAppendFile& operator=(const PosixAppendFile&) = delete;
  ~PosixAppendFile() override {
    if (fd_ >= 0) close(fd_);
  }

  // Opens path; false when it is not to be written to.
  bool Open(const char* path) {
    // O_NONBLOCK: a named pipe without a reader fails at once (ENXIO)
    // instead of waiting for one. O_NOCTTY: a terminal named here does not
    // become the controlling terminal.
    fd_ = open(
        path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
        0666);
    if (fd_ < 0) return false;
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    // A file, a pipe or a character device (a terminal, /dev/null); never a
    // disk.
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode))
      return false;
    // From here on a write waits for a slow reader rather than failing.
    int flags = fcntl(fd_, F_GETFL);
    return flags >= 0 && fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == 0;
  }

  bool WriteLine(const std::string& text) override {
    // One write for the whole line, so that a pipe's reader gets whole lines
    // from the kernel whenever it can.
    std::string line = text;
    line += '\n';
    size_t done = 0;
    while (done < line.size()) {
      ssize_t n = write(fd_, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<AppendFile> PosixPlatform::OpenForAppend(const char* path) {
  if (path == nullptr || path[0] == 0) return nullptr;
  auto file = std::make_unique<PosixAppendFile>();
  if (!file->Open(AnsiToLocal(path).c_str())) return nullptr;
  return file;
}
