// The transcript's file: opened for appending without ever waiting, then
// written line by line with blocking writes.
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace {

class PosixAppendFile : public AppendFile {
 public:
  // Opens path; false when it is not to be written to.
  bool Open(const char* path) {
    // O_NONBLOCK: a named pipe without a reader fails at once (ENXIO)
    // instead of waiting for one. O_NOCTTY: a terminal named here does not
    // become the controlling terminal.
    fd_.Reset(open(
        path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
        0666));
    if (!fd_.Valid()) return false;
    struct stat st;
    if (fstat(fd_.Get(), &st) != 0) return false;
    // A file, a pipe or a character device (a terminal, /dev/null); never a
    // disk.
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode))
      return false;
    // From here on a write waits for a slow reader rather than failing.
    const int flags = fcntl(fd_.Get(), F_GETFL);
    return flags >= 0 && fcntl(fd_.Get(), F_SETFL, flags & ~O_NONBLOCK) == 0;
  }

  bool WriteLine(const std::string& text) override {
    // One write for the whole line, so that a pipe's reader gets whole lines
    // from the kernel whenever it can.
    const std::string line = text + '\n';
    return WriteAll(fd_.Get(), line.data(), line.size());
  }

 private:
  // Each line reached the system when WriteLine returned: a failed close
  // loses nothing more.
  UniqueFd fd_;
};

}  // namespace

std::unique_ptr<AppendFile> PosixPlatform::OpenForAppend(const char* path) {
  if (path == nullptr || path[0] == 0) return nullptr;
  auto file = std::make_unique<PosixAppendFile>();
  if (!file->Open(AnsiToLocal(path).c_str())) return nullptr;
  return file;
}
