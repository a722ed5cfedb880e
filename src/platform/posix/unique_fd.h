// File descriptors on POSIX: the one owner of a descriptor, the retry of a
// call that a signal interrupted, and whole writes.
#pragma once

#include <cerrno>
#include <cstddef>

// Owns a file descriptor and closes it when it goes. A descriptor that was
// written to is closed with Close(), whose result tells of a late write
// error; the destructor's close serves the paths on which the descriptor is
// abandoned anyway (an error already reported, or only reading done).
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held, if any, and takes fd.
  void Reset(int fd = -1);
  // Closes now; false when close reports an error (a write that failed
  // late). Never retried: on Linux the descriptor is gone either way.
  bool Close();

 private:
  int fd_ = -1;
};

// Calls call() again for as long as it fails with EINTR (a signal arrived
// before it did anything); returns what the last call returned.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

// Writes all size bytes of data to fd, waiting while a pipe's reader is
// slow; false when a write fails or writes nothing. Makes no allocation, so
// a forked child may call it.
bool WriteAll(int fd, const void* data, size_t size);
// Reads exactly size bytes; false at an error or an early end.
bool ReadAll(int fd, void* data, size_t size);
