// State kept between runs: file stamps, exact modes, the identity of a
// path, the private state folder, locks and private files.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "base/path_parts.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace {

// Paths of the system itself (environment values, the state folder) are in
// the locale's encoding: "/" is never part of a character of more than one
// byte in any encoding a locale uses, so these rules find its separators.
const CodePage kSystemPaths;

class PosixFileLock : public FileLock {
 public:
  explicit PosixFileLock(UniqueFd fd) : fd_(std::move(fd)) {}

 private:
  UniqueFd fd_;  // the lock goes with it
};

class PrivateAppendFile : public AppendFile {
 public:
  explicit PrivateAppendFile(UniqueFd fd) : fd_(std::move(fd)) {}

  bool WriteLine(const std::string& text) override {
    const std::string line = text + '\n';
    return WriteAll(fd_.Get(), line.data(), line.size());
  }
  bool Flush() override { return fdatasync(fd_.Get()) == 0; }

 private:
  // What was written reached the system by each WriteLine, and the disk
  // by each Flush the caller checked: a failed close loses nothing more.
  UniqueFd fd_;
};

// Nobody but this account (and root) can change what lies in directory:
// it is owned by one of them, and neither its group nor others may write
// to it, unless only an entry's owner can remove the entry (the sticky bit
// of /tmp).
bool OnlyOwnerWrites(const struct stat& st, bool allowSticky) {
  if (st.st_uid != geteuid() && st.st_uid != 0) return false;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return allowSticky && (st.st_mode & S_ISVTX) != 0;
}

// Makes path and its missing parents, new ones only for this account.
bool MakeDirectories(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) return true;
  const std::string parent = DirectoryOf(path, "/", kSystemPaths);
  if (parent != "/" && parent != "." && !MakeDirectories(parent))
    return false;
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

bool PosixPlatform::StampOf(const char* path, FileStamp& out) {
  struct stat st;
  if (lstat(path, &st) != 0) return false;
  out.volume = static_cast<uint64_t>(st.st_dev);
  out.index = static_cast<uint64_t>(st.st_ino);
  out.size = static_cast<uint64_t>(st.st_size);
  out.time = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
             static_cast<uint64_t>(st.st_mtim.tv_nsec);
  out.mode = static_cast<uint32_t>(st.st_mode & 07777);
  out.directory = S_ISDIR(st.st_mode);
  out.link = S_ISLNK(st.st_mode);
  return true;
}

bool PosixPlatform::SetExactMode(const char* path, uint32_t mode) {
  found_.Forget();
  struct stat st;
  if (lstat(path, &st) != 0 || S_ISLNK(st.st_mode)) return false;
  return chmod(path, static_cast<mode_t>(mode & 07777)) == 0;
}

bool PosixPlatform::IdentityPath(const char* path, std::string& out) {
  char* resolved = realpath(AnsiToLocal(path).c_str(), nullptr);
  if (resolved == nullptr) return false;
  out = LocalToAnsi(resolved);
  std::free(resolved);
  return true;
}

bool PosixPlatform::PrivateStateDirectory(std::string& out, bool create) {
  // $UPDATER_STATE_HOME, else $XDG_STATE_HOME, else ~/.local/state, as the
  // XDG base directories say; a relative value is to be ignored. Where it
  // is, only its checks make it trusted.
  std::string base;
  const char* state = std::getenv("UPDATER_STATE_HOME");
  if (state == nullptr || state[0] != '/') state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      const struct passwd* entry = getpwuid(geteuid());
      if (entry == nullptr || entry->pw_dir == nullptr ||
          entry->pw_dir[0] != '/')
        return false;
      home = entry->pw_dir;
    }
    base = std::string(home) + "/.local/state";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  const std::string folder = base + "/updater";
  out = LocalToAnsi(folder.c_str());  // named when it cannot be used
  struct stat st;
  if (!create && lstat(folder.c_str(), &st) != 0) return false;
  if (!MakeDirectories(base)) return false;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // The folder itself: a directory (no link), this account's, private.
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != geteuid() ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return false;
  // Every folder above it, as the system resolves them: nobody else could
  // put another folder in its place.
  char* resolved = realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return false;
  std::string above = resolved;
  std::free(resolved);
  while (above.size() > 1) {
    above = DirectoryOf(above, "/", codePage_);
    if (stat(above.c_str(), &st) != 0 || !OnlyOwnerWrites(st, true))
      return false;
  }
  return true;
}

std::unique_ptr<FileLock> PosixPlatform::TryLock(const char* path,
                                                 LockResult& result) {
  result = LockResult::kFailed;
  UniqueFd fd(open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                   0600));
  if (!fd.Valid()) return nullptr;
  // flock: the lock belongs to this open file and goes when it is closed,
  // also by the end of the process; started programs never inherit it.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) result = LockResult::kHeld;
    return nullptr;
  }
  result = LockResult::kTaken;
  return std::make_unique<PosixFileLock>(std::move(fd));
}

std::unique_ptr<AppendFile> PosixPlatform::CreatePrivateFile(
    const char* path) {
  UniqueFd fd(open(path,
                   O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW |
                       O_NOCTTY | O_CLOEXEC,
                   0600));
  if (!fd.Valid()) return nullptr;
  // The umask may have taken bits away: the owner reads and writes, nobody
  // else does anything.
  if (fchmod(fd.Get(), 0600) != 0) {
    // The file made a moment ago is empty; where it cannot go, the
    // failure is reported all the same and the caller's next attempt at
    // this name removes it first.
    (void)unlink(path);
    return nullptr;
  }
  return std::make_unique<PrivateAppendFile>(std::move(fd));
}
