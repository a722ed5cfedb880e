// Path and tree helpers of rollback (run/rollback.h): the pieces of path
// text it takes apart, the look through a tree before it is set aside, and
// the removal of a saved tree. Used by the rollback sources only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "base/code_page.h"
#include "platform/file_system.h"

namespace rollback_tree {

// The names of saved copies and journals begin with kRollbackReservedPrefix.
bool IsReserved(const std::string& name);

bool IsDots(const DirEntry& entry);
inline bool Exists(uint32_t attributes) {
  return attributes != kInvalidAttributes;
}
bool IsPlainDirectory(uint32_t attributes);
bool IsDirectoryLink(uint32_t attributes);

// The path without trailing separators (a root keeps them).
std::string Trimmed(const std::string& path, const char* sep,
                    const CodePage& cp);
// The path the system acts on: without trailing separators, and without a
// last component "." ("dir/." is dir).
std::string Plain(const std::string& path, const char* sep,
                  const CodePage& cp);
// The length of path in characters of the ANSI code page (a double-byte
// character counts once), as the system's limit on paths counts it.
size_t PathLength(const std::string& path, const CodePage& cp);

// The journals are named "<hash>.journal"; a journal's lock is its name
// with ".lock" for ".journal".
constexpr char kJournalSuffix[] = ".journal";
std::string LockPath(const std::string& journal);

// value in base 36, its last digits digits (0: all of them).
std::string Base36(uint64_t value, int digits);

// Reads a file in blocks, handing each to add; false when it cannot be
// opened.
bool ForEachBlock(FileSystem& files, const std::string& path,
                  const std::function<void(const char*, uint32_t)>& add);

// What a look through a tree found.
struct TreeLook {
  bool readOnly = false;  // a read-only file (the look stops there)
  // A directory that could not be listed, or not to its end (the look
  // stops there).
  bool unlisted = false;
  bool device = false;    // a name the system takes for a device
  // The most that a path in the tree, or a search inside one of its
  // directories (separator and "*.*"), adds to the length of the tree's
  // own path: what renaming the tree makes longer or shorter.
  size_t deepest = 0;
};
// Looks through the tree at directory, of any depth, without recursion
// and without following links. devices: the system takes some names for
// devices wherever they stand.
TreeLook LookThrough(FileSystem& files, const std::string& directory,
                     bool devices, const CodePage& cp);

// Removes a saved copy, a file or a tree of any depth (without recursion:
// the files go as the directories are found, then the directories, deepest
// first). What cannot be removed is handed to leaveForLater; false when
// that did not take everything.
bool RemoveTree(FileSystem& files, const std::string& path,
                const std::function<bool(const std::string&)>& leaveForLater);

}  // namespace rollback_tree
