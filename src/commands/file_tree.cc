// File-tree operations: existence tests, directory paths, the walker and the
// copy, move, delete and attribute operations built on it.
//
// Links to directories (symbolic links, junctions: attributes 0x10 | 0x400)
// are never entered by a walk. Deleting one removes the link itself; moving
// one moves the link itself; a copy leaves it out (it is neither followed nor
// recreated), and a copy whose source is such a link fails.
#include "commands/file_tree.h"

#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "base/code_page.h"
#include "base/name_rules.h"
#include "base/path_parts.h"
#include "platform/platform.h"
#include "run/progress.h"

namespace {

// The context of the copy and move walks.
struct TreeTarget {
  int32_t skip = 0;     // leading fields of an entry path that are the source
  StrBuf destination;   // the destination directory
  Progress* progress = nullptr;  // counts the files done, when given
  // The targets written so far, by their names with the ASCII letters'
  // case folded: two source names that differ only in case must not end
  // in one file where the destination does not tell them apart.
  std::unordered_map<std::string, std::string> written;
};

// One file (or link) done.
inline int Counted(int done, Progress* progress) {
  if (done && progress != nullptr) progress->Advance(1);
  return done;
}

bool IsSeparatorAt(const char* text, const char* sep, int32_t sepLength) {
  for (int32_t i = 0; i < sepLength; ++i)
    if (text[i] != sep[i]) return false;
  return true;
}

// The path without its trailing separators; empty for separators only.
StrBuf WithoutTrailingSeparators(const StrBuf& path, const char* sep,
                                 const CodePage& cp) {
  const int32_t keep =
      static_cast<int32_t>(LengthWithoutTrailingSeparators(path.Text(), sep, cp));
  if (keep == path.Length()) return path;
  return path.Extract(0, keep - 1);
}

// The fields 0 to -2 of a path; the empty text for a path of one field (a
// name relative to the working directory).
StrBuf ParentPart(const StrBuf& path, const char* sep, const CodePage& cp) {
  if (path.FieldCount(sep, cp) < 2) return StrBuf();
  return path.Fields(0, -2, sep, cp);
}

// True when path is base itself or lies beneath it. Text comparison with the
// ASCII letters' case ignored, trailing separators disregarded.
bool IsSameOrBeneath(const StrBuf& path, const StrBuf& base, const char* sep,
                     const CodePage& cp) {
  StrBuf p = WithoutTrailingSeparators(path, sep, cp);
  StrBuf b = WithoutTrailingSeparators(base, sep, cp);
  int32_t length = b.Length();
  if (length == 0 || p.Length() < length) return false;
  if (p.Extract(0, length - 1).NotEquals(b, cp)) return false;
  if (p.Length() == length) return true;
  int32_t sepLength = 0;
  while (sep[sepLength] != '\0') ++sepLength;
  return IsSeparatorAt(p.PointerAt(length), sep, sepLength);
}

bool IsSamePath(const StrBuf& a, const StrBuf& b, const char* sep,
                const CodePage& cp) {
  return WithoutTrailingSeparators(a, sep, cp)
      .Equals(WithoutTrailingSeparators(b, sep, cp), cp);
}

bool HasWildcards(const StrBuf& name, const CodePage& cp) {
  return name.Contains("*", cp) || name.Contains("?", cp);
}

// True when item is a root of a file system, a drive or a share, or a
// pattern directly in one, however it is spelled: the platform resolves
// ".", "..", repeated separators and links. With followLast false, an item
// whose last component is itself a link names that link, not what it leads
// to (a delete or move of the link never reaches beyond it).
bool LeadsToRoot(Platform& platform, const StrBuf& item, bool followLast) {
  if (item.IsEmpty()) return false;
  const char* sep = platform.files().PathSeparator();
  StrBuf trimmed = WithoutTrailingSeparators(item, sep, platform.codePage());
  if (trimmed.IsEmpty()) return true;  // separators only
  if (HasWildcards(trimmed.Field(-1, sep, platform.codePage()),
                   platform.codePage())) {
    StrBuf directory = trimmed.FieldCount(sep, platform.codePage()) < 2
                           ? StrBuf(".")
                           : trimmed.Fields(0, -2, sep, platform.codePage());
    return platform.files().IsFileSystemRoot(directory.Concat(sep).Text(),
                                             true);
  }
  return platform.files().IsFileSystemRoot(item.Text(), followLast);
}

// The separators a path may hold on this system: Windows takes "/" for
// "\\" as well.
const char* Separators(Platform& platform) {
  return HasDeviceNames(platform) ? "\\/" : platform.files().PathSeparator();
}

// The last component of a path (after its last separator).
std::string LastName(Platform& platform, const char* path) {
  return NameOf(path, Separators(platform), platform.codePage());
}

// Moves search on to the first entry, from entry on, whose own name
// matches filter; false when there is none.
bool NextMatching(DirSearch& search, DirEntry& entry, const char* filter,
                  const CodePage& cp) {
  while (!WildcardMatch(filter, entry.name.c_str(), cp))
    if (!search.Next(entry)) return false;
  return true;
}

bool WalkSearch(Platform& platform, std::unique_ptr<DirSearch> search,
                DirEntry& entry, const StrBuf* directory, const char* filter,
                WalkCallback callback, int recursive, void* user);

// Walks the contents of a directory (searched with "*.*"), never through a
// link that has taken the directory's place.
bool WalkInside(Platform& platform, const StrBuf& directory,
                WalkCallback callback, void* user) {
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      platform.files().StartSearchInside(directory.Text(), entry);
  return WalkSearch(platform, std::move(search), entry, &directory, nullptr,
                    callback, 1, user);
}

// Walks what a path or pattern names.
bool WalkPattern(Platform& platform, const StrBuf& pattern,
                 const StrBuf* directory, WalkCallback callback, int recursive,
                 void* user) {
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      platform.files().StartSearch(pattern.Text(), entry);
  std::string last = LastName(platform, pattern.Text());
  const char* filter =
      HasWildcard(last.c_str(), platform.codePage()) ? last.c_str() : nullptr;
  if (search && filter != nullptr &&
      !NextMatching(*search, entry, filter, platform.codePage()))
    return false;  // only other names (short names) matched
  return WalkSearch(platform, std::move(search), entry, directory, filter,
                    callback, recursive, user);
}

// One directory search, started with its first entry; entry paths are
// directory + separator + name, or the bare name when directory is null.
// With a filter, only the entries whose own names match it are visited (a
// system's search may also match other names it keeps for an entry). An
// entry whose name the system reads as a device is handed over as such
// (kWalkDevice), never as what it would open.
bool WalkSearch(Platform& platform, std::unique_ptr<DirSearch> search,
                DirEntry& entry, const StrBuf* directory, const char* filter,
                WalkCallback callback, int recursive, void* user) {
  const char* sep = platform.files().PathSeparator();
  if (!search) return false;
  const bool devices = HasDeviceNames(platform);
  do {
    bool isDirectory = (entry.attributes & kAttrDirectory) != 0;
    if (isDirectory && (entry.name == "." || entry.name == "..")) continue;
    if (filter != nullptr &&
        !WildcardMatch(filter, entry.name.c_str(), platform.codePage()))
      continue;
    StrBuf path = directory != nullptr
                      ? directory->Concat(sep).Concat(entry.name.c_str())
                      : StrBuf(entry.name.c_str());
    if (devices && IsDeviceName(entry.name.c_str(), platform.codePage())) {
      if (!callback(platform, path, kWalkDevice, user)) return false;
    } else if (!isDirectory) {
      if (!callback(platform, path, kWalkFile, user)) return false;
    } else if ((entry.attributes & kAttrReparsePoint) != 0) {
      if (!callback(platform, path, kWalkDirectoryLink, user)) return false;
    } else {
      if (!callback(platform, path, kWalkDirectoryEnter, user)) return false;
      if (recursive && !WalkInside(platform, path, callback, user))
        return false;
      if (!callback(platform, path, kWalkDirectoryLeave, user)) return false;
    }
  } while (search->Next(entry));
  // A listing that broke off leaves entries unvisited: the item fails.
  return search->Complete();
}

// What a copy or move source names.
enum class SourceKind { kFile, kDirectory, kSelection, kDirectoryLink };

SourceKind ClassifySource(Platform& platform, const StrBuf& source) {
  uint32_t attributes = platform.files().GetFileAttrs(source.Text());
  if (attributes != kInvalidAttributes &&
      (attributes & kAttrDirectory) != 0) {
    return (attributes & kAttrReparsePoint) != 0 ? SourceKind::kDirectoryLink
                                                 : SourceKind::kDirectory;
  }
  if (source.Field(-1, platform.files().PathSeparator(), platform.codePage())
          .Contains("*", platform.codePage()))
    return SourceKind::kSelection;
  return SourceKind::kFile;
}

// True when a directory that the selection source matches holds the
// destination (or is it), by identity: the walk would copy into its own
// output.
bool SelectionHolds(Platform& platform, const StrBuf& source,
                    const StrBuf& destination) {
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      platform.files().StartSearch(source.Text(), entry);
  if (!search) return false;
  const std::string filter = LastName(platform, source.Text());
  const StrBuf parent =
      ParentPart(source, platform.files().PathSeparator(), platform.codePage());
  do {
    const bool isDirectory = (entry.attributes & kAttrDirectory) != 0;
    if (!isDirectory || (entry.attributes & kAttrReparsePoint) != 0 ||
        entry.name == "." || entry.name == ".." ||
        !WildcardMatch(filter.c_str(), entry.name.c_str(), platform.codePage()))
      continue;
    // As WalkPattern names the entries ("/d*" gives "/d").
    StrBuf path = source.FieldCount(platform.files().PathSeparator(),
                                     platform.codePage()) < 2
                      ? StrBuf(entry.name.c_str())
                      : parent.Concat(platform.files().PathSeparator())
                            .Concat(entry.name.c_str());
    if (DestinationWithin(platform, destination, path)) return true;
  } while (search->Next(entry));
  return !search->Complete();  // what could not be listed is not known safe
}

bool BlockedInside(Platform& platform, const StrBuf& source,
                   const StrBuf& target);

// True when a directory of a search (entry first, then the rest; paths as
// in WalkSearch, with a filter as there) has at target, beneath the
// destination, something that EnterTargetDirectory refuses: a file, or a
// link (which may lead anywhere, back into the source too). Only what
// exists at the destination is looked into.
bool BlockedIn(Platform& platform, std::unique_ptr<DirSearch> search,
               DirEntry& entry, const StrBuf* directory, const char* filter,
               const StrBuf& target) {
  if (!search) return false;
  const char* sep = platform.files().PathSeparator();
  const bool devices = HasDeviceNames(platform);
  do {
    const uint32_t kind =
        entry.attributes & (kAttrDirectory | kAttrReparsePoint);
    if (kind != kAttrDirectory || entry.name == "." || entry.name == ".." ||
        (filter != nullptr &&
         !WildcardMatch(filter, entry.name.c_str(), platform.codePage())) ||
        (devices && IsDeviceName(entry.name.c_str(), platform.codePage())))
      continue;  // not entered by the walk (a device fails it there)
    const StrBuf there = target.Concat(sep).Concat(entry.name.c_str());
    const uint32_t found = platform.files().GetFileAttrs(there.Text());
    if (found == kInvalidAttributes) continue;  // made anew by the walk
    if ((found & (kAttrDirectory | kAttrReparsePoint)) != kAttrDirectory)
      return true;
    const StrBuf path =
        directory != nullptr
            ? directory->Concat(sep).Concat(entry.name.c_str())
            : StrBuf(entry.name.c_str());
    if (BlockedInside(platform, path, there)) return true;
  } while (search->Next(entry));
  return !search->Complete();  // what could not be listed is not known safe
}

bool BlockedInside(Platform& platform, const StrBuf& source,
                   const StrBuf& target) {
  DirEntry entry;
  return BlockedIn(platform,
                   platform.files().StartSearchInside(source.Text(), entry),
                   entry, &source, nullptr, target);
}

// True when the walk of a directory or selection source into the target's
// destination would fail where it needs a directory of its own and finds a
// file or a link: looked at before anything is changed, so that the item
// fails untouched instead of halfway (the walk still refuses such an entry
// when it appears later). A destination that does not exist yet costs one
// look.
bool TargetBlocked(Platform& platform, SourceKind kind, const StrBuf& source,
                   const TreeTarget& target) {
  if (!IsDirectory(platform, target.destination.Text())) return false;
  const char* sep = platform.files().PathSeparator();
  if (kind == SourceKind::kDirectory)
    return BlockedInside(platform,
                         WithoutTrailingSeparators(source, sep,
                                                   platform.codePage()),
                         target.destination);
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      platform.files().StartSearch(source.Text(), entry);
  const std::string filter = LastName(platform, source.Text());
  // The entries' paths as WalkPattern makes them ("/d*" gives "/d").
  const StrBuf parent = ParentPart(source, sep, platform.codePage());
  return BlockedIn(platform, std::move(search), entry,
                   source.FieldCount(sep, platform.codePage()) < 2 ? nullptr
                                                                 : &parent,
                   filter.c_str(), target.destination);
}

// Sets up the target of a directory or selection copy or move. Fails for an
// empty destination (never the root instead), for a destination that
// would be walked as part of the source, compared by identity however
// either is spelled, and for one whose tree holds a file or a link where
// the walk needs a directory, before anything is created.
bool PrepareTarget(Platform& platform, SourceKind kind, const StrBuf& source,
                   const StrBuf& destination, TreeTarget& target) {
  const char* sep = platform.files().PathSeparator();
  if (kind == SourceKind::kDirectory) {
    StrBuf directory =
        WithoutTrailingSeparators(source, sep, platform.codePage());
    if (directory.IsEmpty()) return false;
    target.skip = directory.FieldCount(sep, platform.codePage());
    target.destination =
        WithoutTrailingSeparators(destination, sep, platform.codePage());
    if (target.destination.IsEmpty()) return false;
    return !IsSameOrBeneath(target.destination, directory, sep,
                            platform.codePage()) &&
           !DestinationWithin(platform, target.destination, directory) &&
           !TargetBlocked(platform, kind, source, target);
  }
  target.skip = source.FieldCount(sep, platform.codePage()) - 1;
  target.destination = WithoutTrailingSeparators(
      destination.Fields(0, -2, sep, platform.codePage()), sep,
      platform.codePage());
  if (target.destination.IsEmpty()) return false;
  // The selected files onto themselves.
  StrBuf parent = ParentPart(source, sep, platform.codePage());
  if (IsSamePath(target.destination, parent, sep, platform.codePage()) ||
      platform.files().IsSameFile(target.destination.Text(),
                                  parent.IsEmpty() ? "." : parent.Text()))
    return false;
  return !SelectionHolds(platform, source, target.destination) &&
         !TargetBlocked(platform, kind, source, target);
}

// Where an entry goes: the destination followed by the entry's fields after
// the source's. False when the entry has no such fields, or when a directory
// entry is, or holds, the destination itself (a walk into its own output).
bool BuildTarget(Platform& platform, const StrBuf& entry, WalkEvent event,
                 const TreeTarget& target, StrBuf& out) {
  const char* sep = platform.files().PathSeparator();
  if (event != kWalkFile &&
      IsSameOrBeneath(target.destination, entry, sep, platform.codePage()))
    return false;
  StrBuf rest = entry.Fields(target.skip, -1, sep, platform.codePage());
  if (rest.IsEmpty()) return false;
  out = target.destination.Concat(sep).Concat(rest);
  return true;
}

// The directory where a walked directory goes: made when missing, taken
// when it is a directory. A file, or a link, where the directory belongs
// fails the walk: nothing is ever written through a link met below the
// destination that the script names.
int EnterTargetDirectory(Platform& platform, const StrBuf& target) {
  const uint32_t attributes = platform.files().GetFileAttrs(target.Text());
  if (attributes == kInvalidAttributes)
    return platform.files().MakeDirectory(target.Text());
  return (attributes & (kAttrDirectory | kAttrReparsePoint)) == kAttrDirectory;
}

// False when target is the name of a file that this walk has already
// written under a name that differs only in case, and the destination does
// not tell the two apart (both lead to one file): the second would
// overwrite the first. Where the destination keeps both, both are kept.
bool TakeTargetName(Platform& platform, TreeTarget& tree,
                    const StrBuf& target) {
  std::string exact(target.Text());
  auto found =
      tree.written.emplace(platform.codePage().FoldAsciiCase(exact), exact);
  if (found.second || found.first->second == exact) return true;
  return !platform.files().IsSameFile(found.first->second.c_str(),
                                      exact.c_str());
}

int CopyEntry(Platform& platform, const StrBuf& entry, WalkEvent event,
              void* user) {
  TreeTarget& tree = *static_cast<TreeTarget*>(user);
  switch (event) {
    case kWalkFile:
    case kWalkDirectoryEnter: {
      StrBuf target;
      if (!BuildTarget(platform, entry, event, tree, target)) return 0;
      if (event == kWalkFile) {
        if (!TakeTargetName(platform, tree, target)) return 0;
        return Counted(
            platform.files().CopyFileOver(entry.Text(), target.Text()),
            tree.progress);
      }
      return EnterTargetDirectory(platform, target);
    }
    case kWalkDirectoryLeave:
      return 1;
    case kWalkDirectoryLink:
      return 1;  // left out: never followed, never recreated
    case kWalkDevice:
      return 0;
  }
  return 0;
}

// Moves one file or link to target, replacing a file there in one step (the
// platform never leaves the name without the old or the new file). A move
// onto itself, by name or by identity, fails before anything changes.
int MoveOne(Platform& platform, const StrBuf& entry, const StrBuf& target) {
  if (IsSamePath(entry, target, platform.files().PathSeparator(),
                 platform.codePage()))
    return 0;
  return platform.files().MoveFileOver(entry.Text(), target.Text());
}

int MoveEntry(Platform& platform, const StrBuf& entry, WalkEvent event,
              void* user) {
  TreeTarget& tree = *static_cast<TreeTarget*>(user);
  StrBuf target;
  switch (event) {
    case kWalkFile:
    case kWalkDirectoryLink:  // the link itself moves
      if (!BuildTarget(platform, entry, event, tree, target) ||
          !TakeTargetName(platform, tree, target))
        return 0;
      return Counted(MoveOne(platform, entry, target), tree.progress);
    case kWalkDirectoryEnter:
      if (!BuildTarget(platform, entry, event, tree, target)) return 0;
      return EnterTargetDirectory(platform, target);
    case kWalkDirectoryLeave:
      return platform.files().RemoveDir(entry.Text());  // emptied by now
    case kWalkDevice:
      return 0;
  }
  return 0;
}

int DeleteEntry(Platform& platform, const StrBuf& entry, WalkEvent event,
                void* user) {
  switch (event) {
    case kWalkFile:
      return Counted(platform.files().DeleteOneFile(entry.Text()),
                     static_cast<Progress*>(user));
    case kWalkDirectoryEnter:
      return 1;
    case kWalkDirectoryLeave:
    case kWalkDirectoryLink:  // the link itself, nothing behind it
      return platform.files().RemoveDir(entry.Text());
    case kWalkDevice:
      return 0;
  }
  return 0;
}

int SetAttributesEntry(Platform& platform, const StrBuf& entry,
                       WalkEvent event, void* user) {
  switch (event) {
    case kWalkFile: {
      // A link has no attributes of its own, and the file behind it is
      // not the script's to change.
      const uint32_t attributes = platform.files().GetFileAttrs(entry.Text());
      if (attributes != kInvalidAttributes &&
          (attributes & kAttrReparsePoint) != 0)
        return 1;
      return platform.files().SetFileAttrs(entry.Text(),
                                           *static_cast<const uint32_t*>(user));
    }
    case kWalkDirectoryEnter:
    case kWalkDirectoryLeave:
    case kWalkDirectoryLink:
      return 1;  // directories are left unchanged
    case kWalkDevice:
      return 0;
  }
  return 0;
}

// Collects the device entries of a walk, which goes on past them.
struct DeviceFinder {
  std::vector<std::string>* found;
  size_t most;
  size_t count = 0;
  static int Callback(Platform&, const StrBuf& entry, WalkEvent event,
                      void* user) {
    auto& self = *static_cast<DeviceFinder*>(user);
    if (event != kWalkDevice) return 1;
    if (self.count++ < self.most) self.found->push_back(entry.Text());
    return 1;
  }
};

}  // namespace

bool NamesRoot(Platform& platform, const StrBuf& item) {
  return LeadsToRoot(platform, item, false);
}

bool RefusesItem(Platform& platform, const StrBuf& item) {
  return HasEmptyName(platform, item) || NamesDevice(platform, item) ||
         NamesRoot(platform, item);
}

bool WritesIntoRoot(Platform& platform, const StrBuf& destination) {
  return LeadsToRoot(platform, destination, true);
}

bool PathExists(Platform& platform, const char* path) {
  DirEntry entry;
  std::unique_ptr<DirSearch> search = platform.files().StartSearch(path, entry);
  if (!search) return false;
  std::string last = LastName(platform, path);
  return !HasWildcard(last.c_str(), platform.codePage()) ||
         NextMatching(*search, entry, last.c_str(), platform.codePage());
}

bool HasDeviceNames(const Platform& platform) {
  return DeviceNamesApply(platform.files().PathSeparator());
}

bool NamesDevice(Platform& platform, const StrBuf& path) {
  return HasDeviceNames(platform) &&
         !DeviceComponent(path.Text(), Separators(platform),
                          platform.codePage())
              .empty();
}

bool HasEmptyName(Platform& platform, const StrBuf& path) {
  return HasEmptyComponent(path.Text(), Separators(platform),
                           HasDeviceNames(platform), platform.codePage());
}

bool DestinationWithin(Platform& platform, const StrBuf& spelled,
                       const StrBuf& directory) {
  const char* sep = platform.files().PathSeparator();
  if (directory.IsEmpty() || spelled.IsEmpty()) return false;
  // Every separator the system takes ("/" on Windows as well) separates the
  // prefixes. No trail byte of a double-byte character is "/".
  std::string text(spelled.Text());
  if (HasDeviceNames(platform))
    for (char& c : text)
      if (c == '/') c = '\\';
  const StrBuf destination(text.c_str());
  // Every existing prefix of the destination, as the system reads it
  // (".", "..", doubled separators, short names, other spellings).
  StrBuf deepest;
  const int32_t count = destination.FieldCount(sep, platform.codePage());
  for (int32_t i = 0; i < count; ++i) {
    StrBuf prefix = destination.Fields(0, i, sep, platform.codePage());
    if (prefix.IsEmpty() ||
        platform.files().GetFileAttrs(prefix.Text()) == kInvalidAttributes)
      continue;
    if (platform.files().IsSameFile(prefix.Text(), directory.Text()))
      return true;
    deepest = prefix;
  }
  if (deepest.IsEmpty()) return false;
  // And the directories above the deepest one, where it lies: from its
  // final path, every link on the way followed (Windows reads ".." by the
  // text, so a junction's ".." is the folder that holds the junction, not
  // the one that holds its target), else as the system reads ".." after
  // it; up to the root or as far as the system takes the growing path.
  std::string final;
  StrBuf up = WithoutTrailingSeparators(
      platform.files().FinalPath(deepest.Text(), final)
          ? StrBuf(final.c_str())
          : deepest,
      sep, platform.codePage());
  for (int level = 0; level < 512; ++level) {
    StrBuf parent = up.Concat(sep).Concat("..");
    if (platform.files().GetFileAttrs(parent.Text()) == kInvalidAttributes)
      return false;
    if (platform.files().IsSameFile(parent.Text(), directory.Text()))
      return true;
    if (platform.files().IsSameFile(parent.Text(), up.Text()))
      return false;  // root
    up = parent;
  }
  return false;
}

bool IsDirectory(Platform& platform, const char* path) {
  uint32_t attributes = platform.files().GetFileAttrs(path);
  return attributes != kInvalidAttributes &&
         (attributes & kAttrDirectory) != 0;
}

bool CreateDirectoryPath(Platform& platform, const StrBuf& path) {
  if (NamesDevice(platform, path)) return false;
  if (PathExists(platform, path.Text())) return true;
  const char* sep = platform.files().PathSeparator();
  int32_t count = path.FieldCount(sep, platform.codePage());
  // Field 0 (the drive, or the empty field before a leading separator) is
  // never created; nor are the server and share of a network path.
  int32_t first =
      path.StartsWith(StrBuf(sep).Concat(sep).Text(), platform.codePage()) ? 4
                                                                           : 1;
  for (int32_t i = first; i < count; ++i) {
    // An empty field (doubled or trailing separator) adds no directory.
    if (path.Field(i, sep, platform.codePage()).IsEmpty()) continue;
    StrBuf prefix = path.Fields(0, i, sep, platform.codePage());
    if (!PathExists(platform, prefix.Text()) &&
        !platform.files().MakeDirectory(prefix.Text()))
      return false;
  }
  return true;
}

bool WalkTree(Platform& platform, const StrBuf& path, WalkCallback callback,
              int recursive, void* user) {
  const char* sep = platform.files().PathSeparator();
  if (recursive) {
    uint32_t attributes = platform.files().GetFileAttrs(path.Text());
    if (attributes != kInvalidAttributes &&
        (attributes & kAttrDirectory) != 0 &&
        (attributes & kAttrReparsePoint) == 0) {
      // Only trailing separators go: a leading one makes the path absolute.
      StrBuf directory =
          WithoutTrailingSeparators(path, sep, platform.codePage());
      return WalkInside(platform, directory, callback, user);
    }
  }
  if (path.FieldCount(sep, platform.codePage()) < 2)
    return WalkPattern(platform, path, nullptr, callback, recursive, user);
  StrBuf directory = path.Fields(0, -2, sep, platform.codePage());
  return WalkPattern(platform, path, &directory, callback, recursive, user);
}

size_t FindDeviceEntries(Platform& platform, const StrBuf& path,
                         int recursive, std::vector<std::string>& found,
                         size_t most) {
  if (!HasDeviceNames(platform) || path.IsEmpty() ||
      RefusesItem(platform, path))
    return 0;
  DeviceFinder finder{&found, most};
  WalkTree(platform, path, DeviceFinder::Callback, recursive, &finder);
  return finder.count;
}

bool CopyTree(Platform& platform, const StrBuf& source,
              const StrBuf& destination, Progress* progress) {
  const char* sep = platform.files().PathSeparator();
  if (NamesDevice(platform, source) || NamesDevice(platform, destination) ||
      WritesIntoRoot(platform, destination))
    return false;
  SourceKind kind = ClassifySource(platform, source);
  if (kind == SourceKind::kDirectoryLink) return false;
  if (kind == SourceKind::kFile) {
    if (!CreateDirectoryPath(platform,
                             ParentPart(destination, sep, platform.codePage())))
      return false;
    return Counted(
        platform.files().CopyFileOver(source.Text(), destination.Text()),
        progress);
  }
  TreeTarget target;
  target.progress = progress;
  if (!PrepareTarget(platform, kind, source, destination, target)) return false;
  if (!CreateDirectoryPath(platform, target.destination)) return false;
  return WalkTree(platform, source, CopyEntry, 1, &target);
}

bool MoveTree(Platform& platform, const StrBuf& source,
              const StrBuf& destination, Progress* progress) {
  const char* sep = platform.files().PathSeparator();
  if (RefusesItem(platform, source) || NamesDevice(platform, destination) ||
      WritesIntoRoot(platform, destination))
    return false;
  SourceKind kind = ClassifySource(platform, source);
  if (kind == SourceKind::kFile || kind == SourceKind::kDirectoryLink) {
    // Nothing to move: the destination stays.
    if (platform.files().GetFileAttrs(source.Text()) == kInvalidAttributes)
      return false;
    if (!CreateDirectoryPath(platform,
                             ParentPart(destination, sep, platform.codePage())))
      return false;
    return Counted(MoveOne(platform, source, destination), progress);
  }
  TreeTarget target;
  target.progress = progress;
  if (!PrepareTarget(platform, kind, source, destination, target)) return false;
  if (kind == SourceKind::kDirectory &&
      platform.files().MoveTreeAtOnce(
          WithoutTrailingSeparators(source, sep, platform.codePage()).Text(),
          target.destination.Text()))
    return true;
  if (!CreateDirectoryPath(platform, target.destination)) return false;
  if (!WalkTree(platform, source, MoveEntry, 1, &target)) return false;
  if (kind == SourceKind::kSelection) return true;
  return platform.files().RemoveDir(
      WithoutTrailingSeparators(source, sep, platform.codePage()).Text());
}

bool DeleteTree(Platform& platform, const StrBuf& path, Progress* progress) {
  if (RefusesItem(platform, path)) return false;
  // What a directory search does not find is not deleted: a path that ends
  // with a separator finds nothing, so a folder named by a word that turned
  // out empty ("data\{?Param\1}\") never costs its parent.
  if (!PathExists(platform, path.Text())) return true;
  const uint32_t attributes = platform.files().GetFileAttrs(path.Text());
  if (attributes != kInvalidAttributes &&
      (attributes & kAttrDirectory) != 0) {
    if ((attributes & kAttrReparsePoint) != 0)
      return platform.files().RemoveDir(
          path.Text());  // the link, not behind it
    if (platform.files().RemoveTreeAtOnce(path.Text())) return true;
    if (!WalkTree(platform, path, DeleteEntry, 1, progress)) return false;
    return platform.files().RemoveDir(path.Text());
  }
  return WalkTree(platform, path, DeleteEntry, 1, progress);
}

bool SetAttributes(Platform& platform, const StrBuf& pattern, uint32_t mask) {
  if (RefusesItem(platform, pattern)) return false;
  return WalkTree(platform, pattern, SetAttributesEntry, 0, &mask);
}
