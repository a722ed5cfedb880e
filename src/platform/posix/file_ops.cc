// The operations on single files and directories: attributes, directories,
// moves, deletes, identities, exclusive reads and full paths, with the
// Windows semantics the engine expects (the read-only attribute is "no
// write permission bit at all", see file_looks.h; hidden, system and
// archive bits are accepted and not stored).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "base/path_parts.h"
#include "platform/posix/file_copy.h"
#include "platform/posix/file_looks.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace {

// The path the system acts on when a call is given path: a last component
// "." or ".." stands for the directory it leads to, as Windows reads it
// ("dir/." is dir). Other paths are returned as they are.
std::string WithoutDotEnd(const std::string& path, const CodePage& cp) {
  const std::string last = NameOf(path, "/", cp);
  if (last != "." && last != "..") return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string out(resolved);
  std::free(resolved);
  return out;
}

class PosixExclusiveFile : public ExclusiveFile {
 public:
  PosixExclusiveFile(UniqueFd fd, const struct stat& st)
      : fd_(std::move(fd)), st_(st) {}
  uint64_t Size() override { return static_cast<uint64_t>(st_.st_size); }
  bool Read(void* buffer, uint32_t size, uint32_t& got) override {
    got = 0;
    const ssize_t n =
        RetryOnInterrupt([&] { return read(fd_.Get(), buffer, size); });
    if (n < 0) return false;
    got = static_cast<uint32_t>(n);
    return true;
  }
  bool LastWriteLocalDate(uint16_t& year, uint16_t& month,
                          uint16_t& day) override {
    struct tm local;
    const time_t t = st_.st_mtime;
    if (localtime_r(&t, &local) == nullptr) return false;
    year = static_cast<uint16_t>(local.tm_year + 1900);
    month = static_cast<uint16_t>(local.tm_mon + 1);
    day = static_cast<uint16_t>(local.tm_mday);
    return true;
  }

 private:
  UniqueFd fd_;  // only read: nothing is lost when its close fails
  struct stat st_;
};

}  // namespace

bool PosixPlatform::SetFileAttrs(const char* path, uint32_t attributes) {
  found_.Forget();
  struct stat st;
  if (lstat(path, &st) != 0) return false;
  // Directories keep their attributes; a link has none of its own, and the
  // file behind it is not touched.
  if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) return true;
  const mode_t mode = st.st_mode & 07777;
  mode_t wanted = mode;
  if (attributes & kAttrReadOnly)
    wanted = mode & ~kWriteBits;
  else if ((mode & kWriteBits) == 0)
    wanted = mode | S_IWUSR;
  if (wanted == mode) return true;
  return chmod(path, wanted) == 0;
}

bool PosixPlatform::MakeDirectory(const char* path) {
  found_.Forget();
  return *path != '\0' && mkdir(path, 0777) == 0;
}

bool PosixPlatform::RemoveDir(const char* path) {
  found_.Forget();
  const std::string p =
      WithoutDotEnd(WithoutTrailingSeparators(path, "/", codePage_), codePage_);
  struct stat st;
  if (p.empty() || lstat(p.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    if (stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
      return false;
    return unlink(p.c_str()) == 0;  // the link itself, never its target
  }
  return S_ISDIR(st.st_mode) && rmdir(p.c_str()) == 0;
}

bool PosixPlatform::MoveFileTo(const char* source, const char* destination) {
  found_.Forget();
  if (*destination == '\0') return false;
  // Never over an existing entry: in one step where the file system can
  // refuse to replace, else after a look at the destination.
  int rc = renameat2(AT_FDCWD, source, AT_FDCWD, destination,
                     RENAME_NOREPLACE);
  if (rc != 0 &&
      (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
    struct stat existing;
    if (lstat(destination, &existing) == 0) return false;
    rc = rename(source, destination);
  }
  if (rc == 0) return true;
  if (errno != EXDEV) return false;
  struct stat st;
  if (lstat(source, &st) != 0) return false;
  // The other file system is reported before the destination is looked at.
  struct stat existing;
  if (lstat(destination, &existing) == 0) return false;

  // Another file system: files are copied and the source deleted; links
  // are made anew; directories are not moved.
  if (S_ISREG(st.st_mode)) {
    if (!CopyRegularFile(source, destination)) return false;
  } else if (S_ISLNK(st.st_mode)) {
    if (!CopyLink(source, st, destination)) return false;
  } else {
    return false;
  }
  if (unlink(source) == 0) return true;
  // The move failed; no second copy is left behind where it can be taken
  // away (where it cannot, both stay and the failure is reported).
  (void)unlink(destination);
  return false;
}

bool PosixPlatform::MoveFileOver(const char* source,
                                 const char* destination) {
  found_.Forget();
  if (*destination == '\0') return false;
  struct stat existing;
  if (lstat(destination, &existing) != 0) {
    if (errno != ENOENT) return false;
    return MoveFileTo(source, destination);  // nothing to replace
  }
  struct stat st;
  if (lstat(source, &st) != 0) return false;
  // The same file under two names (a link to it, a hard link): the move
  // would leave a link to itself, or nothing at all.
  ReplaceTarget target = ReplaceTargetAt(destination, existing, st);
  target.sameFile = target.sameFile || IsSameFile(source, destination);
  if (Refused(JudgeReplace(target))) return false;
  // One rename replaces the old file on the same file system.
  if (rename(source, destination) == 0) return true;
  if (errno != EXDEV) return false;
  // Another file system: a whole copy is made beside the destination and
  // renamed over it; the old file stays under the name until then.
  if (S_ISREG(st.st_mode)) {
    if (!CopyRegularFile(source, destination)) return false;
  } else if (S_ISLNK(st.st_mode)) {
    if (!ReplaceWithLinkCopy(source, st, destination)) return false;
  } else {
    return false;
  }
  // The new file is in place; a source that cannot be deleted stays too,
  // and the move is reported as failed.
  return unlink(source) == 0;
}

bool PosixPlatform::IsFileSystemRoot(const char* path, bool followLast) {
  const std::string p(path);
  if (p.empty()) return false;
  struct stat st;
  // lstat follows a link that "/", "/." or "/.." comes after: only a link
  // that is really the last component is taken for itself.
  if (!followLast && lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    return false;
  if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  struct stat parent;
  if (stat((p + "/..").c_str(), &parent) != 0) return false;
  // "/" is its own parent; a mounted file system's root lies on another
  // device than its parent.
  return st.st_dev != parent.st_dev || st.st_ino == parent.st_ino;
}

bool PosixPlatform::IsSameFile(const char* first, const char* second) {
  struct stat a;
  struct stat b;
  return stat(first, &a) == 0 && stat(second, &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool PosixPlatform::FinalPath(const char* path, std::string& out) {
  // The same bytes as the names on disk, as the other file operations take
  // them.
  char* resolved = realpath(path, nullptr);
  if (resolved == nullptr) return false;
  out = resolved;
  std::free(resolved);
  return true;
}

bool PosixPlatform::DeleteOneFile(const char* path) {
  // The look of the walk that found the entry, where it did: relative to
  // the directory it searched, which no link swapped in since can lead
  // elsewhere. Else one look of its own.
  if (const FoundEntry::Look* look = found_.Take(path)) {
    if (S_ISDIR(look->mode) || IsReadOnlyMode(look->mode)) return false;
    return unlinkat(look->directory, look->path.c_str() + look->nameAt, 0) ==
           0;
  }
  struct stat st;
  if (lstat(path, &st) != 0) return false;
  if (S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode)) return false;
  return unlink(path) == 0;
}

std::unique_ptr<ExclusiveFile> PosixPlatform::OpenExclusive(const char* path) {
  UniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.Valid()) return nullptr;
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  // Reads wait for their data from here on. Where the flag cannot be
  // cleared, a regular file reads the same: it never makes a read wait.
  const int flags = fcntl(fd.Get(), F_GETFL);
  if (flags >= 0) (void)fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixExclusiveFile>(std::move(fd), st);
}

bool PosixPlatform::FullPath(const char* path, std::string& out) {
  if (path[0] == '/') {
    out = path;
    return true;
  }
  char directory[4096];
  if (getcwd(directory, sizeof directory) == nullptr) return false;
  out = LocalToAnsi(directory);
  if (out.empty() || out.back() != '/') out += '/';
  out += path;
  return true;
}
