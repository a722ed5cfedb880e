// Copies keep permission bits and modification time and never show a
// partial file under the destination's name (see write_beside.h). The
// kernel copies the data (copy_file_range) where the file systems allow.
#include "platform/posix/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <vector>

#include "platform/posix/file_looks.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"
#include "platform/posix/write_beside.h"

namespace {

// Writes everything from in to out: copy_file_range where the kernel and the
// file systems allow it (the data never passes through this process), read
// and write otherwise.
bool CopyData(int in, int out) {
  bool copied = false;  // copy_file_range has moved data already
  for (;;) {
    const ssize_t n = RetryOnInterrupt([&] {
      return copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    });
    if (n > 0) {
      copied = true;
      continue;
    }
    if (n == 0 && copied) return true;  // the end, after data was copied
    if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL &&
        errno != EOPNOTSUPP && errno != EPERM && errno != ETXTBSY)
      return false;
    // Not offered here, or 0 before any data, which on some file systems
    // means "not supported": read on to make sure the end is real.
    break;
  }
  constexpr size_t kChunk = 1 << 16;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunk]);
  if (!buffer) return false;
  for (;;) {
    const ssize_t got =
        RetryOnInterrupt([&] { return read(in, buffer.get(), kChunk); });
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(out, buffer.get(), static_cast<size_t>(got))) return false;
  }
}

// Gives out the contents of in, the permission bits and the modification
// time of st.
bool FillCopy(int in, int out, const struct stat& st) {
  if (!CopyData(in, out)) return false;
  if (fchmod(out, st.st_mode & 0777) != 0) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = st.st_mtim;
  return futimens(out, times) == 0;
}

}  // namespace

bool CopyRegularFile(const char* source, const std::string& destination) {
  if (destination.empty()) return false;
  UniqueFd in(open(source, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!in.Valid()) return false;
  struct stat st;
  if (fstat(in.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  struct stat existing;
  const bool replaces = lstat(destination.c_str(), &existing) == 0;
  if (replaces &&
      Refused(JudgeReplace(ReplaceTargetAt(destination.c_str(), existing, st))))
    return false;
  // A second file to fill starts from the source's start again.
  bool started = false;
  return WriteBesideThenRename(destination, replaces, 0600, [&](int out) {
    if (started && lseek(in.Get(), 0, SEEK_SET) != 0) return false;
    started = true;
    return FillCopy(in.Get(), out, st);
  });
}

bool CopyLink(const char* source, const struct stat& st,
              const char* destination) {
  // The size lstat gives (0 on some file systems) plus room to notice a
  // target that grew meanwhile.
  const size_t room = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  std::vector<char> target(room + 4096);
  const ssize_t n = readlink(source, target.data(), target.size() - 1);
  if (n < 0 || static_cast<size_t>(n) >= target.size() - 1) return false;
  target[static_cast<size_t>(n)] = '\0';
  return symlink(target.data(), destination) == 0;
}

bool ReplaceWithLinkCopy(const char* source, const struct stat& st,
                         const std::string& destination) {
  return PlaceBeside(destination, false, [&](const std::string& temp) {
    if (CopyLink(source, st, temp.c_str())) return Placed::kMade;
    return errno == EEXIST ? Placed::kTaken : Placed::kFailed;
  });
}

bool PosixPlatform::CopyFileOver(const char* source, const char* destination) {
  found_.Forget();
  return CopyRegularFile(source, destination);
}
