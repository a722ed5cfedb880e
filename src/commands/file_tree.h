// File-tree operations beneath the file commands. Paths are fields separated
// by the platform's path separator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/str_buf.h"

class Platform;
class Progress;

// The kinds of callback calls of a walk, depth-first: a directory's
// kWalkDirectoryEnter comes before everything beneath it and its
// kWalkDirectoryLeave after. A link to a directory (a symbolic link or a
// junction, attribute 0x400 with 0x10) is never entered: it gets one
// kWalkDirectoryLink call instead. An entry whose name the system reads as
// a device (see HasDeviceNames) is neither entered nor looked at: it gets
// one kWalkDevice call, at which every walk that changes something fails.
enum WalkEvent : int {
  kWalkFile = 0,
  kWalkDirectoryEnter = 1,
  kWalkDirectoryLeave = 2,
  kWalkDirectoryLink = 3,
  kWalkDevice = 4,
};

// Returns nonzero to go on, 0 to end the walk with failure.
using WalkCallback = int (*)(Platform& platform, const StrBuf& entry,
                             WalkEvent event, void* user);

// True when item names the root of a file system, a drive or a share, or a
// pattern directly in one, however it is spelled (".", "..", repeated
// separators, links on the way). An item whose last component is itself a
// link names the link. Delete, move and attribute operations refuse such
// items before they touch anything.
bool NamesRoot(Platform& platform, const StrBuf& item);
// The same for the destination of a copy or a move, whose last component
// is followed when it is a link: the copy would write into what it leads to.
bool WritesIntoRoot(Platform& platform, const StrBuf& destination);

// True when this system reads some names as devices wherever they stand
// (Windows: CON, NUL, COM1, ...; see IsDeviceName). Decided by the
// platform: the systems whose separator is "\\".
bool HasDeviceNames(const Platform& platform);
// True when path, or a component of it, names a device on this system.
// No command that changes something takes such an item or destination,
// and a walk fails at an entry of such a name (see WalkTree).
bool NamesDevice(Platform& platform, const StrBuf& path);
// True when path has an empty component where a name belongs (see
// HasEmptyComponent): the system would drop it and reach the parent.
bool HasEmptyName(Platform& platform, const StrBuf& path);
// The guard of the items of the delete, move and attribute operations:
// an empty component, a device name or a root (NamesRoot).
bool RefusesItem(Platform& platform, const StrBuf& item);
// True when destination, existing or not, is directory or lies beneath it,
// compared by identity: every existing prefix of destination as the system
// reads it, and the directories above the deepest one.
bool DestinationWithin(Platform& platform, const StrBuf& destination,
                       const StrBuf& directory);

// True when the path, or a pattern, names something. A pattern matches by
// WildcardMatch against each entry's own name only.
bool PathExists(Platform& platform, const char* path);
bool IsDirectory(Platform& platform, const char* path);
bool CreateDirectoryPath(Platform& platform, const StrBuf& path);
bool WalkTree(Platform& platform, const StrBuf& path, WalkCallback callback,
              int recursive, void* user);
// The entries named as devices that a walk of path (as WalkTree with
// recursive) meets, in the order of the walk: how many there are, and the
// paths of the first `most` of them in found. Only looks; 0 where the
// system has no device names, and for an item refused for its own name
// or as a root (RefusesItem), which is never walked.
size_t FindDeviceEntries(Platform& platform, const StrBuf& path,
                         int recursive, std::vector<std::string>& found,
                         size_t most);
// The copy, move and delete count each file (or link) they have done on
// progress, when one is given.
bool CopyTree(Platform& platform, const StrBuf& source,
              const StrBuf& destination, Progress* progress = nullptr);
bool MoveTree(Platform& platform, const StrBuf& source,
              const StrBuf& destination, Progress* progress = nullptr);
bool DeleteTree(Platform& platform, const StrBuf& path,
                Progress* progress = nullptr);
bool SetAttributes(Platform& platform, const StrBuf& pattern, uint32_t mask);
