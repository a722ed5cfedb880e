// One look at an entry on POSIX, in the engine's terms: the attributes that
// Windows would report, the read-only rule, what the replace rules ask, and
// the look a directory search took at the entry it handed out last.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "platform/replace_rules.h"

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Read-only as Windows reads it: a regular file without any write bit. The
// platform checks it itself, not the kernel, so that it holds for root too.
inline bool IsReadOnlyMode(mode_t mode) {
  return S_ISREG(mode) && (mode & kWriteBits) == 0;
}

// The attributes of an entry whose lstat is st; followed is the stat of a
// link's target (null when it cannot be read). A directory 0x10; a file
// 0x20 (archive, what Windows reports for a fresh file), plus 0x1 when
// read-only; a link 0x400 plus 0x10 when it leads to a directory, else 0x20.
uint32_t AttributesOf(const struct stat& st, const struct stat* followed);

// The attributes of path, a link at its end not followed;
// kInvalidAttributes when nothing is there.
uint32_t PathAttributes(const char* path);

// The attributes and own mode of name in the open directory dirFd, from the
// type the directory listed (a directory needs no look: its attributes
// never carry more than 0x10) or one look relative to dirFd (two for a
// link); false when the entry has vanished.
bool EntryAttributes(int dirFd, const char* name, unsigned char type,
                     uint32_t& attributes, mode_t& mode);

// What stands at destination, whose lstat is existing, for the replace
// rules: a link counts as a directory when it leads to one, and as the
// source when it leads to it; source is the stat of the source.
ReplaceTarget ReplaceTargetAt(const char* destination,
                              const struct stat& existing,
                              const struct stat& source);

// The look a directory search took at the entry it handed out last, kept
// for the engine's next operation on that entry: a walk's delete makes no
// look of its own. Every operation of the platform that changes a file
// forgets it, and so does the search that took it when it ends.
class FoundEntry {
 public:
  struct Look {
    const void* search = nullptr;  // the search that took it
    std::string path;    // as the engine spells it: prefix + name
    int directory = -1;  // the directory to act in (AT_FDCWD: path)
    size_t nameAt = 0;   // where the name relative to directory begins
    mode_t mode = 0;     // the entry's own type and permission bits
  };

  void Set(const void* search, const std::string& prefix,
           const std::string& name, int directory, mode_t mode);
  void Forget() { look_.search = nullptr; }
  void ForgetSearch(const void* search) {
    if (look_.search == search) Forget();
  }
  // The look at path when it is the one kept; null otherwise. Taking it
  // forgets it: it serves one operation.
  const Look* Take(const char* path);

 private:
  Look look_;
  Look taken_;
};
