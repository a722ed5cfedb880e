#include "platform/posix/unique_fd.h"

#include <unistd.h>

void UniqueFd::Reset(int fd) {
  // The descriptor goes whatever close reports: what was written through
  // it was checked by Close(), or it is being abandoned after a failure
  // that has been reported already.
  if (fd_ >= 0) (void)close(fd_);
  fd_ = fd;
}

bool UniqueFd::Close() {
  if (fd_ < 0) return true;
  const int rc = close(fd_);
  fd_ = -1;
  return rc == 0;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = RetryOnInterrupt([&] { return write(fd, p, size); });
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = RetryOnInterrupt([&] { return read(fd, p, size); });
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
