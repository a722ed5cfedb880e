// The settings file on POSIX: its identity (device, inode, size,
// modification and change times) and its bytes. The kernel stamps the change
// time at every change, whatever the modification time says, so the settings
// layer can keep the parsed file for as long as the identity stays
// (settings/profile_cache.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace {

// A larger file is not a settings file.
constexpr uint64_t kMaxProfileSize = 0xFFFFFFF0u;

// A time in nanoseconds, held within about 285 years of 1970 so that sums
// of it do not overflow (a stamp beyond is ahead of any clock anyway).
int64_t Nanoseconds(const timespec& t) {
  constexpr int64_t kLimit = 9000000000;  // seconds
  int64_t seconds = static_cast<int64_t>(t.tv_sec);
  if (seconds > kLimit) seconds = kLimit;
  if (seconds < -kLimit) seconds = -kLimit;
  return seconds * 1000000000 + t.tv_nsec;
}

ChangeStamp IdentityOf(const struct stat& st) {
  ChangeStamp id;
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.index = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<uint64_t>(st.st_size);
  id.modified = Nanoseconds(st.st_mtim);
  id.changed = Nanoseconds(st.st_ctim);
  return id;
}

void ReadClocks(FileLook& look) {
  // clock_gettime fails only for a clock the kernel does not know or an
  // address outside the process, neither of which can happen here.
  timespec wall{};
  timespec steady{};
#ifdef CLOCK_REALTIME_COARSE
  // File times are stamped from the coarse clock; compare like with like.
  (void)clock_gettime(CLOCK_REALTIME_COARSE, &wall);
#else
  (void)clock_gettime(CLOCK_REALTIME, &wall);
#endif
  (void)clock_gettime(CLOCK_MONOTONIC, &steady);
  look.wallClock = Nanoseconds(wall);
  look.steadyClock = Nanoseconds(steady);
}

}  // namespace

FileRead PosixPlatform::ReadFileIfChanged(const char* path,
                                          const ChangeStamp* unchanged,
                                          FileLook& look, std::string& bytes) {
  if (path == nullptr || path[0] == 0) return FileRead::kMissing;
  const std::string localPath = AnsiToLocal(path);

  // One look per request while the file stays as it was.
  struct stat st;
  if (stat(localPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return FileRead::kMissing;
  }
  look.identity = IdentityOf(st);
  if (unchanged != nullptr && look.identity == *unchanged) {
    return FileRead::kUnchanged;
  }

  // O_NONBLOCK: a FIFO put in the file's place must not block the open.
  // Only read: nothing of the file can be lost by a failed close.
  UniqueFd fd(open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.Valid()) return FileRead::kMissing;
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > kMaxProfileSize) {
    return FileRead::kMissing;
  }
  look.identity = IdentityOf(st);

  // Read after the identity and after the clocks: a change made while the
  // file is read either shows in a new identity or is in the bytes.
  ReadClocks(look);
  try {
    bytes.assign(static_cast<size_t>(st.st_size), '\0');
  } catch (const std::bad_alloc&) {
    return FileRead::kMissing;  // too large to hold: read as a missing file
  }
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = RetryOnInterrupt(
        [&] { return read(fd.Get(), &bytes[got], bytes.size() - got); });
    if (n < 0) return FileRead::kMissing;
    if (n == 0) break;  // the file shrank while being read
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return FileRead::kRead;
}
