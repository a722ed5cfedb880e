#include "platform/posix/write_beside.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/path_parts.h"
#include "platform/posix/unique_fd.h"

namespace {

// "/" is never part of a character of more than one byte in the code pages
// the updater reads (UTF-8 and 932 alike), so any rules find it.
const CodePage kSlashOnly;

// The start of a process in clock ticks since boot (field 22 of
// /proc/PID/stat), 0 when it cannot be read: the process is gone.
unsigned long long ProcessStart(long pid) {
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
  UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return 0;
  char text[1024];
  const ssize_t n = RetryOnInterrupt(
      [&] { return read(fd.Get(), text, sizeof text - 1); });
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

// Removes from folder (ending in "/", or empty for the current one) the
// reserved temporary files and links of this account whose process is no
// longer running: those left by a run killed while it wrote.
void RemoveStaleTemporaries(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(
      opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return;  // an unreadable folder keeps them: nothing to tidy
  while (const struct dirent* entry = readdir(dir.get())) {
    long pid = 0;
    unsigned long long start = 0;
    int used = 0;
    if (std::sscanf(entry->d_name, ".~upd.%ld-%llu.%n", &pid, &start,
                    &used) != 2 ||
        used == 0 || pid <= 0 || start == 0 || ProcessStart(pid) == start)
      continue;
    struct stat st;
    if (fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) ==
            0 &&
        st.st_uid == geteuid() && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      // Tidying only: one that cannot go now is tried again next time.
      (void)unlinkat(dirfd(dir.get()), entry->d_name, 0);
  }
}

// The name /proc gives an open descriptor, which linkat names a file by.
std::string DescriptorPath(int fd) {
  char self[40];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return self;
}

}  // namespace

bool PlaceBeside(const std::string& destination, bool tidy,
                 const std::function<Placed(const std::string& name)>& make) {
  const std::string folder = FolderPrefixOf(destination, "/", kSlashOnly);
  if (tidy) RemoveStaleTemporaries(folder);
  const std::string prefix = folder + ReservedPrefix();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = prefix + std::to_string(attempt);
    switch (make(temp)) {
      case Placed::kTaken:
        continue;
      case Placed::kFailed:
        return false;
      case Placed::kMade:
        break;
    }
    if (rename(temp.c_str(), destination.c_str()) == 0) return true;
    // The failed rename is the failure reported; the next write into this
    // folder removes an entry that cannot go now.
    (void)unlink(temp.c_str());
    return false;
  }
  return false;
}

bool WriteBesideThenRename(const std::string& destination, bool replaces,
                           mode_t mode, const FillFile& fill) {
  if (destination.empty()) return false;
  UniqueFd unnamed(open(DirectoryOf(destination, "/", kSlashOnly).c_str(),
                        O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (unnamed.Valid()) {
    if (!fill(unnamed.Get())) return false;  // it goes with its descriptor
    const std::string self = DescriptorPath(unnamed.Get());
    // A free name gets the file at once, which spares the rename.
    if (!replaces && linkat(AT_FDCWD, self.c_str(), AT_FDCWD,
                            destination.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (unnamed.Close()) return true;
      // A late write error: the file under the name is not whole. The
      // failure is reported whether or not it can be taken away again.
      (void)unlink(destination.c_str());
      return false;
    }
    if (replaces || errno == EEXIST) {
      bool linked = false;
      const bool placed =
          PlaceBeside(destination, false, [&](const std::string& temp) {
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(),
                   AT_SYMLINK_FOLLOW) != 0)
          return errno == EEXIST ? Placed::kTaken : Placed::kFailed;
        linked = true;
        if (unnamed.Close()) return Placed::kMade;
        (void)unlink(temp.c_str());  // not whole; the failure is reported
        return Placed::kFailed;
      });
      // Where no reserved name could be linked (no /proc), the named
      // file below is tried; anything else has failed.
      if (placed || linked) return placed;
    }
    // No link by descriptor here (no /proc): a file with a name.
  }
  UniqueFd named;
  return PlaceBeside(destination, true, [&](const std::string& temp) {
    named.Reset(open(temp.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     mode));
    if (!named.Valid()) return errno == EEXIST ? Placed::kTaken
                                               : Placed::kFailed;
    if (fill(named.Get()) && named.Close()) return Placed::kMade;
    (void)unlink(temp.c_str());  // not whole; the failure is reported
    return Placed::kFailed;
  });
}
