// Directory search, attributes, directories, copies, moves and deletes.
//
// The engine expects Windows file semantics; this file gives them on POSIX:
// - A search pattern may hold "*" (any run) and "?" (one character) in its
//   last component; ASCII case is ignored and "X.*" also matches "X" (so
//   "*.*" matches every name). A search of a directory yields "." and ".."
//   first, as on Windows.
// - The read-only attribute is "no write permission bit at all". It is
//   checked here, not left to the kernel, so that deleting or overwriting a
//   read-only file fails for root as well. Hidden, system and archive bits
//   are accepted and not stored.
// - Attributes reported: a directory 0x10; a file 0x20 (archive, what
//   Windows reports for a fresh file), plus 0x1 when read-only; a symbolic
//   link 0x400 plus 0x10 when it leads to a directory, else 0x20. The last
//   component of a path is never followed.
// - Copies keep permission bits and modification time and never show a
//   partial file under the destination's name: a new name gets an unnamed
//   file, linked when complete; an existing file is replaced by a temporary
//   file beside it, renamed over it when complete. The kernel copies the
//   data (copy_file_range) where the file systems allow.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "base/name_rules.h"
#include "platform/posix/posix_platform.h"

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool IsReadOnlyMode(mode_t mode) {
  return S_ISREG(mode) && (mode & kWriteBits) == 0;
}

// True when the entry path (of lstat st) is a directory or a link to one,
// which a file never replaces.
bool IsDirectoryOrLinkToOne(const char* path, const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return true;
  struct stat target;
  return S_ISLNK(st.st_mode) && stat(path, &target) == 0 &&
         S_ISDIR(target.st_mode);
}

// A file descriptor closed by the destructor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false when close reports an error (a late write error).
  bool Close() {
    if (fd_ < 0) return true;
    int rc = close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// The matcher the engine uses as well (base/name_rules.h).
bool MatchName(const std::string& pattern, const char* name) {
  return WildcardMatch(pattern.c_str(), name);
}

// Attributes of an entry whose lstat is st; followed is the stat of the
// link's target for a link (null when it cannot be read).
uint32_t AttributesOf(const struct stat& st, const struct stat* followed) {
  if (S_ISLNK(st.st_mode)) {
    bool toDirectory = followed != nullptr && S_ISDIR(followed->st_mode);
    return kAttrReparsePoint | (toDirectory ? kAttrDirectory : kAttrArchive);
  }
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  return kAttrArchive | (IsReadOnlyMode(st.st_mode) ? kAttrReadOnly : 0);
}

// Attributes of name in the open directory dirFd; false when it vanished.
bool EntryAttributes(int dirFd, const char* name, unsigned char type,
                     uint32_t& attributes) {
  // A directory needs no stat: its attributes never carry more than 0x10.
  if (type == DT_DIR) {
    attributes = kAttrDirectory;
    return true;
  }
  struct stat st;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  struct stat target;
  bool haveTarget =
      S_ISLNK(st.st_mode) && fstatat(dirFd, name, &target, 0) == 0;
  attributes = AttributesOf(st, haveTarget ? &target : nullptr);
  return true;
}

// The path without trailing slashes ("/" stays "/").
std::string WithoutTrailingSlashes(const char* path) {
  std::string p(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// Attributes of a path, the last component not followed;
// kInvalidAttributes when it does not exist.
uint32_t PathAttributes(const std::string& path) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0) return kInvalidAttributes;
  struct stat target;
  bool haveTarget = S_ISLNK(st.st_mode) && stat(path.c_str(), &target) == 0;
  return AttributesOf(st, haveTarget ? &target : nullptr);
}

// A search that matched one named entry.
class SingleSearch : public DirSearch {
 public:
  bool Next(DirEntry&) override { return false; }
};

// A wildcard search over one directory: "." and ".." first (when they
// match), then the directory's entries in the order the system gives them.
class PatternSearch : public DirSearch {
 public:
  PatternSearch(DIR* dir, std::string pattern)
      : dir_(dir), pattern_(std::move(pattern)) {}
  PatternSearch(const PatternSearch&) = delete;
  PatternSearch& operator=(const PatternSearch&) = delete;
  ~PatternSearch() override { closedir(dir_); }

  bool Next(DirEntry& entry) override {
    while (dots_ < 2) {
      const char* dot = dots_++ == 0 ? "." : "..";
      if (MatchName(pattern_, dot)) {
        entry.name = dot;
        entry.attributes = kAttrDirectory;
        return true;
      }
    }
    for (;;) {
      errno = 0;
      struct dirent* d = readdir(dir_);
      if (d == nullptr) return false;
      const char* name = d->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        continue;
      if (!MatchName(pattern_, name)) continue;
      uint32_t attributes = 0;
      if (!EntryAttributes(dirfd(dir_), name, d->d_type, attributes))
        continue;  // vanished since it was listed
      entry.name = name;
      entry.attributes = attributes;
      return true;
    }
  }

 private:
  DIR* dir_;
  std::string pattern_;
  int dots_ = 0;
};

// The two halves of a path at its last slash.
void SplitPath(const std::string& path, std::string& directory,
               std::string& name) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
    name = path;
  } else {
    directory = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

// Writes everything from in to out: copy_file_range where the kernel and the
// file systems allow it (the data never passes through this process), read
// and write otherwise.
bool CopyData(int in, int out) {
  bool copied = false;  // copy_file_range has moved data already
  for (;;) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n > 0) {
      copied = true;
      continue;
    }
    if (n == 0 && copied) return true;  // the end, after data was copied
    if (n < 0 && errno == EINTR) continue;
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
    ssize_t got = read(in, buffer.get(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    const char* p = buffer.get();
    while (got > 0) {
      ssize_t put = write(out, p, static_cast<size_t>(got));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      p += put;
      got -= put;
    }
  }
}

// The start of a process in clock ticks since boot (field 22 of
// /proc/PID/stat), 0 when it cannot be read: the process is gone.
unsigned long long ProcessStart(long pid) {
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
  Fd fd(open(path, O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return 0;
  char text[1024];
  ssize_t n = read(fd.get(), text, sizeof text - 1);
  if (n <= 0) return 0;
  text[n] = '\0';
  // The program name (field 2) may hold blanks and ")": skip to its last ")".
  const char* p = std::strrchr(text, ')');
  for (int field = 2; p != nullptr && field < 22; ++field)
    p = std::strchr(p + 1, ' ');
  return p == nullptr ? 0 : std::strtoull(p + 1, nullptr, 10);
}

// The start of reserved temporary names: ".~upd.PID-START." names a file of
// this process, which no other will take for stale while the process lives.
std::string ReservedPrefix() {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, ".~upd.%ld-%llu.",
                static_cast<long>(getpid()), ProcessStart(getpid()));
  return prefix;
}

// Removes from directory (ending in "/", or empty for the current one) the
// reserved temporary files and links of this account whose process is no
// longer running: those left by a run killed while it copied.
void RemoveStaleTemporaries(const std::string& directory) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(
      opendir(directory.empty() ? "." : directory.c_str()), closedir);
  if (!dir) return;
  while (const struct dirent* entry = readdir(dir.get())) {
    long pid = 0;
    unsigned long long start = 0;
    int used = 0;
    if (std::sscanf(entry->d_name, ".~upd.%ld-%llu.%n", &pid, &start,
                    &used) != 2 ||
        used == 0 || pid <= 0 || start == 0 ||
        ProcessStart(pid) == start)
      continue;
    const std::string path = directory + entry->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && st.st_uid == geteuid() &&
        (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      unlink(path.c_str());
  }
}

// A temporary file beside a destination, under a reserved name, removed
// unless it was renamed; one left by a kill is removed by the next copy
// made this way into the same directory.
class TempFile {
 public:
  explicit TempFile(const std::string& destination) {
    size_t slash = destination.rfind('/');
    path_ = slash == std::string::npos ? std::string()
                                       : destination.substr(0, slash + 1);
    RemoveStaleTemporaries(path_);
    path_ += ReservedPrefix() + "XXXXXX";
    int fd = mkostemp(&path_[0], O_CLOEXEC);
    created_ = fd >= 0;
    fd_ = fd;
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (created_ && !renamed_) unlink(path_.c_str());
  }
  bool created() const { return created_; }
  int fd() const { return fd_; }
  bool CloseAndRename(const std::string& destination) {
    int rc = close(fd_);
    fd_ = -1;
    if (rc != 0) return false;  // a late write error
    if (rename(path_.c_str(), destination.c_str()) != 0) return false;
    renamed_ = true;
    return true;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  bool renamed_ = false;
};

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

// The directory that holds path ("." for a bare name).
std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

enum class Outcome { kDone, kFailed, kNotHere };

// A copy to a name that does not exist yet: the contents go to an unnamed
// file in the destination's directory, which gets its name only when
// complete. So, as with a temporary name, no partial file is ever seen under
// the destination's name, and a failure (or the end of the process) leaves
// nothing behind; it spares the rename. kNotHere: the file system or the
// system offers no unnamed files, or the name was taken meanwhile; the
// source is then at its start again for a copy by a temporary name.
Outcome CopyToNewName(int in, const struct stat& st,
                      const std::string& destination) {
  Fd out(open(DirectoryOf(destination).c_str(),
              O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (!out.valid()) return Outcome::kNotHere;
  if (!FillCopy(in, out.get(), st)) return Outcome::kFailed;
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", out.get());
  if (linkat(AT_FDCWD, self, AT_FDCWD, destination.c_str(),
             AT_SYMLINK_FOLLOW) != 0) {
    return lseek(in, 0, SEEK_SET) == 0 ? Outcome::kNotHere
                                       : Outcome::kFailed;
  }
  if (!out.Close()) {  // a late write error: the copy is not whole
    unlink(destination.c_str());
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

// A copy over an existing destination through an unnamed file: the contents
// go to a file without a name, which gets a reserved temporary name beside
// the destination only once complete, and is renamed over the destination
// at once. So a run killed while the data is copied leaves nothing behind
// (the unnamed file goes with the process); only a kill between the two
// calls that name it and rename it could leave a complete file under the
// reserved name. kNotHere: no unnamed files here; in is at its start again.
Outcome ReplaceThroughUnnamed(int in, const struct stat& st,
                              const std::string& destination) {
  Fd out(open(DirectoryOf(destination).c_str(),
              O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (!out.valid()) return Outcome::kNotHere;
  if (!FillCopy(in, out.get(), st)) return Outcome::kFailed;
  size_t slash = destination.rfind('/');
  const std::string base = slash == std::string::npos
                               ? std::string()
                               : destination.substr(0, slash + 1);
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", out.get());
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temp =
        base + ReservedPrefix() + std::to_string(attempt);
    if (linkat(AT_FDCWD, self, AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) !=
        0) {
      if (errno == EEXIST) continue;
      return lseek(in, 0, SEEK_SET) == 0 ? Outcome::kNotHere
                                         : Outcome::kFailed;
    }
    if (!out.Close() || rename(temp.c_str(), destination.c_str()) != 0) {
      int saved = errno;
      unlink(temp.c_str());
      errno = saved;
      return Outcome::kFailed;
    }
    return Outcome::kDone;
  }
  return Outcome::kFailed;
}

// The copy proper: source must be a regular file, destination is replaced
// only once the new contents are complete.
bool CopyRegularFile(const char* source, const std::string& destination) {
  if (destination.empty()) return false;
  Fd in(open(source, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!in.valid()) return false;
  struct stat st;
  if (fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  struct stat existing;
  if (lstat(destination.c_str(), &existing) == 0) {
    if (IsDirectoryOrLinkToOne(destination.c_str(), existing) ||
        IsReadOnlyMode(existing.st_mode)) {
      errno = EACCES;
      return false;
    }
    // The source itself under another name (a link to it, a hard link):
    // replacing it would copy the file onto itself.
    struct stat behind;
    const struct stat& other =
        S_ISLNK(existing.st_mode) && stat(destination.c_str(), &behind) == 0
            ? behind
            : existing;
    if (other.st_dev == st.st_dev && other.st_ino == st.st_ino) {
      errno = EINVAL;
      return false;
    }
    Outcome outcome = ReplaceThroughUnnamed(in.get(), st, destination);
    if (outcome != Outcome::kNotHere) return outcome == Outcome::kDone;
  } else if (errno == ENOENT) {
    Outcome outcome = CopyToNewName(in.get(), st, destination);
    if (outcome != Outcome::kNotHere) return outcome == Outcome::kDone;
  }

  TempFile temp(destination);
  if (!temp.created()) return false;
  if (!FillCopy(in.get(), temp.fd(), st)) return false;
  return temp.CloseAndRename(destination);
}

// Makes at destination a link with the target of the link source (of
// lstat st); false when destination exists.
bool CopyLink(const char* source, const struct stat& st,
              const char* destination) {
  // The size lstat gives (0 on some file systems) plus room to notice a
  // target that grew meanwhile.
  size_t room = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
  std::vector<char> target(room + 4096);
  ssize_t n = readlink(source, target.data(), target.size() - 1);
  if (n < 0 || static_cast<size_t>(n) >= target.size() - 1) return false;
  target[static_cast<size_t>(n)] = '\0';
  return symlink(target.data(), destination) == 0;
}

// Replaces destination by a copy of the link source, in one rename.
bool ReplaceWithLinkCopy(const char* source, const struct stat& st,
                         const std::string& destination) {
  size_t slash = destination.rfind('/');
  std::string base = slash == std::string::npos
                         ? std::string()
                         : destination.substr(0, slash + 1);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string temp = base + ReservedPrefix() + std::to_string(attempt);
    if (!CopyLink(source, st, temp.c_str())) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (rename(temp.c_str(), destination.c_str()) == 0) return true;
    int saved = errno;
    unlink(temp.c_str());
    errno = saved;
    return false;
  }
  return false;
}

// The path the system acts on when a call is given path: a last component
// "." or ".." stands for the directory it leads to, as Windows reads it
// ("dir/." is dir). Other paths are returned as they are.
std::string WithoutDotEnd(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string last =
      slash == std::string::npos ? path : path.substr(slash + 1);
  if (last != "." && last != "..") return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string out(resolved);
  std::free(resolved);
  return out;
}

class PosixExclusiveFile : public ExclusiveFile {
 public:
  PosixExclusiveFile(int fd, const struct stat& st) : fd_(fd), st_(st) {}
  uint64_t Size() override { return static_cast<uint64_t>(st_.st_size); }
  bool Read(void* buffer, uint32_t size, uint32_t& got) override {
    got = 0;
    for (;;) {
      ssize_t n = read(fd_.get(), buffer, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      got = static_cast<uint32_t>(n);
      return true;
    }
  }
  bool LastWriteLocalDate(uint16_t& year, uint16_t& month,
                          uint16_t& day) override {
    struct tm local;
    time_t t = st_.st_mtime;
    if (localtime_r(&t, &local) == nullptr) return false;
    year = static_cast<uint16_t>(local.tm_year + 1900);
    month = static_cast<uint16_t>(local.tm_mon + 1);
    day = static_cast<uint16_t>(local.tm_mday);
    return true;
  }

 private:
  Fd fd_;
  struct stat st_;
};

}  // namespace

std::unique_ptr<DirSearch> PosixPlatform::StartSearch(const char* pattern,
                                                      DirEntry& first) {
  std::string path(pattern);
  std::string directory;
  std::string name;
  SplitPath(path, directory, name);
  if (name.empty()) return nullptr;  // a path ending with a separator

  if (!HasWildcards(name)) {
    uint32_t attributes = PathAttributes(path);
    if (attributes == kInvalidAttributes) return nullptr;
    first.name = name;
    first.attributes = attributes;
    return std::make_unique<SingleSearch>();
  }

  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return nullptr;
  auto search = std::make_unique<PatternSearch>(dir, name);
  if (!search->Next(first)) return nullptr;
  return search;
}

std::unique_ptr<DirSearch> PosixPlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  // O_NOFOLLOW: a directory exchanged for a link since it was listed is not
  // entered.
  int fd = open(directory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return nullptr;
  }
  auto search = std::make_unique<PatternSearch>(dir, "*.*");
  if (!search->Next(first)) return nullptr;
  return search;
}

uint32_t PosixPlatform::GetFileAttrs(const char* path) {
  // A trailing separator does not lead through a link: "link/" is the link.
  std::string p = WithoutTrailingSlashes(path);
  uint32_t attributes = PathAttributes(p);
  if (p.size() != std::strlen(path) && attributes != kInvalidAttributes &&
      (attributes & kAttrDirectory) == 0)
    return kInvalidAttributes;  // "file/" names nothing
  return attributes;
}

bool PosixPlatform::SetFileAttrs(const char* path, uint32_t attributes) {
  struct stat st;
  if (lstat(path, &st) != 0) return false;
  // Directories keep their attributes; a link has none of its own, and the
  // file behind it is not touched.
  if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = mode;
  if (attributes & kAttrReadOnly)
    wanted = mode & ~kWriteBits;
  else if ((mode & kWriteBits) == 0)
    wanted = mode | S_IWUSR;
  if (wanted == mode) return true;
  return chmod(path, wanted) == 0;
}

bool PosixPlatform::MakeDirectory(const char* path) {
  return *path != '\0' && mkdir(path, 0777) == 0;
}

bool PosixPlatform::RemoveDir(const char* path) {
  std::string p = WithoutDotEnd(WithoutTrailingSlashes(path));
  struct stat st;
  if (p.empty() || lstat(p.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    if (stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) {
      errno = ENOTDIR;
      return false;
    }
    return unlink(p.c_str()) == 0;  // the link itself, never its target
  }
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return rmdir(p.c_str()) == 0;
}

bool PosixPlatform::CopyFileOver(const char* source, const char* destination) {
  return CopyRegularFile(source, destination);
}

bool PosixPlatform::MoveFileTo(const char* source, const char* destination) {
  if (*destination == '\0') return false;
  // Never over an existing entry: in one step where the file system can
  // refuse to replace, else after a look at the destination.
  int rc = renameat2(AT_FDCWD, source, AT_FDCWD, destination,
                     RENAME_NOREPLACE);
  if (rc != 0 &&
      (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
    struct stat existing;
    if (lstat(destination, &existing) == 0) {
      errno = EEXIST;
      return false;
    }
    rc = rename(source, destination);
  }
  if (rc == 0) return true;
  if (errno != EXDEV) return false;
  struct stat st;
  if (lstat(source, &st) != 0) return false;
  // The other file system is reported before the destination is looked at.
  struct stat existing;
  if (lstat(destination, &existing) == 0) {
    errno = EEXIST;
    return false;
  }

  // Another file system: files are copied and the source deleted; links
  // are made anew; directories are not moved.
  if (S_ISREG(st.st_mode)) {
    if (!CopyRegularFile(source, destination)) return false;
  } else if (S_ISLNK(st.st_mode)) {
    if (!CopyLink(source, st, destination)) return false;
  } else {
    return false;
  }
  if (unlink(source) != 0) {
    int saved = errno;
    unlink(destination);  // no second copy left behind
    errno = saved;
    return false;
  }
  return true;
}

bool PosixPlatform::MoveFileOver(const char* source,
                                 const char* destination) {
  if (*destination == '\0') return false;
  struct stat existing;
  if (lstat(destination, &existing) != 0) {
    if (errno != ENOENT) return false;
    return MoveFileTo(source, destination);  // nothing to replace
  }
  struct stat st;
  if (lstat(source, &st) != 0) return false;
  if (IsDirectoryOrLinkToOne(destination, existing) ||
      IsReadOnlyMode(existing.st_mode)) {
    errno = EACCES;
    return false;
  }
  // The same file under two names (a link to it, a hard link): the move
  // would leave a link to itself, or nothing at all.
  if ((existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) ||
      IsSameFile(source, destination)) {
    errno = EINVAL;
    return false;
  }
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
    errno = EINVAL;
    return false;
  }
  // The new file is in place; a source that cannot be deleted stays too,
  // and the move is reported as failed.
  return unlink(source) == 0;
}

bool PosixPlatform::IsFileSystemRoot(const char* path, bool followLast) {
  std::string p(path);
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
  struct stat st;
  if (lstat(path, &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (IsReadOnlyMode(st.st_mode)) {
    errno = EACCES;
    return false;
  }
  return unlink(path) == 0;
}

std::unique_ptr<ExclusiveFile> PosixPlatform::OpenExclusive(const char* path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<PosixExclusiveFile>(fd, st);
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
