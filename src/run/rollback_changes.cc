#include "run/rollback.h"

#include <cstring>

#include "base/path_parts.h"
#include "platform/replace_rules.h"
#include "run/reserved_search.h"
#include "run/rollback_tree.h"

using rollback_tree::Exists;
using rollback_tree::IsDirectoryLink;
using rollback_tree::IsPlainDirectory;
using rollback_tree::Plain;
using rollback_tree::IsDots;
using rollback_tree::IsReserved;
using rollback_tree::LookThrough;
using rollback_tree::PathLength;
using rollback_tree::TreeLook;
using rollback_tree::Trimmed;

bool RollbackPlatform::StampFor(const char* path, FileStamp& stamp) {
  return inner_.StampOf(path, stamp);
}

std::string RollbackPlatform::OnDisk(const char* path) {
  // The name the directory holds for path: on Windows a short (8.3) name or
  // another case finds the entry, and its own name is kept.
  const char* sep = PathSeparator();
  std::string full;
  if (!inner_.FullPath(path, full)) return path;
  full = Plain(full, sep, codePage_);
  const size_t cut = SeparatorBeforeName(full, sep, codePage_);
  if (cut == std::string::npos) return full;
  const size_t start = cut + std::strlen(sep);
  const std::string name = full.substr(start);
  if (name.empty() || name.find_first_of("*?") != std::string::npos)
    return full;
  DirEntry entry;
  std::unique_ptr<DirSearch> search = inner_.StartSearch(full.c_str(), entry);
  if (!search || entry.name.empty() || entry.name == name ||
      entry.name == "." || entry.name == "..")
    return full;
  return full.substr(0, start) + entry.name;
}

bool RollbackPlatform::Replaceable(uint32_t attributes) const {
  return !Refused(JudgeReplace(ReplaceTargetOf(attributes, false)));
}

// The saved copies are hidden from the run that made them only: a run
// without rollback sees every name, as the walks always did.
std::unique_ptr<DirSearch> RollbackPlatform::StartSearch(const char* pattern,
                                                         DirEntry& first) {
  if (!Journaling()) return inner_.StartSearch(pattern, first);
  return LeaveOutReserved(inner_.StartSearch(pattern, first), first,
                          kRollbackReservedPrefix);
}

std::unique_ptr<DirSearch> RollbackPlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  if (!Journaling()) return inner_.StartSearchInside(directory, first);
  return LeaveOutReserved(inner_.StartSearchInside(directory, first), first,
                          kRollbackReservedPrefix);
}

bool RollbackPlatform::SetFileAttrs(const char* path, uint32_t attributes) {
  if (!Journaling()) return inner_.SetFileAttrs(path, attributes);
  const uint32_t old = inner_.GetFileAttrs(path);
  if (Exists(old)) {
    JournalRecord record;
    record.kind = kJournalAttributes;
    record.number = old;
    record.heldKnown = inner_.StampOf(path, record.held);
    if (!inner_.FullPath(path, record.first)) return false;
    record.first = Plain(record.first, PathSeparator(), codePage_);
    if (!Record(std::move(record))) return false;
  }
  const bool done = inner_.SetFileAttrs(path, attributes);
  if (!done && Exists(old)) Cancel();
  return done;
}

bool RollbackPlatform::MakeDirectory(const char* path) {
  if (!Journaling()) return inner_.MakeDirectory(path);
  if (!Record(kJournalMadeDirectory, path)) return false;
  const bool done = inner_.MakeDirectory(path);
  if (!done) Cancel();
  return done;
}

bool RollbackPlatform::RemoveDir(const char* path) {
  if (!Journaling()) return inner_.RemoveDir(path);
  const uint32_t attributes = inner_.GetFileAttrs(path);
  if (IsDirectoryLink(attributes)) return SetAside(path);
  if (!IsPlainDirectory(attributes)) return inner_.RemoveDir(path);
  if (!Record(kJournalRemovedDirectory, path, "", attributes)) return false;
  if (inner_.RemoveDir(path)) return true;
  Cancel();
  // A directory that holds nothing but saved copies of this run goes aside
  // whole, with them: its entries were all deleted.
  std::string full;
  if (!inner_.FullPath(path, full)) return false;
  full = Plain(full, PathSeparator(), codePage_);
  if (savedIn_.count(full) == 0 || !HoldsOnlySaved(full))
    return false;
  return SetAside(path, false,
                  LookThrough(inner_, full, HasDeviceNames(), codePage_).deepest);
}

bool RollbackPlatform::HoldsOnlySaved(const std::string& directory) {
  DirEntry entry;
  std::unique_ptr<DirSearch> search =
      inner_.StartSearchInside(directory.c_str(), entry);
  if (!search) return false;
  do {
    if (!IsDots(entry) && !IsReserved(entry.name)) return false;
  } while (search->Next(entry));
  return search->Complete();
}

bool RollbackPlatform::CopyFileOver(const char* source,
                                    const char* destination) {
  if (!Journaling()) return inner_.CopyFileOver(source, destination);
  const uint32_t attributes = inner_.GetFileAttrs(destination);
  // What the copy will leave at the destination: the contents and time of
  // its source (a link followed: its stamp is taken afterwards).
  JournalRecord created;
  created.kind = kJournalCreated;
  created.putKnown = inner_.StampOf(source, created.put) && !created.put.link &&
                     !created.put.directory;
  if (!inner_.FullPath(destination, created.first)) return false;
  created.first = Plain(created.first, PathSeparator(), codePage_);
  const bool replaces = Exists(attributes);
  // What the copy refuses is left to it to refuse.
  if (replaces && (!Replaceable(attributes) ||
                   !Exists(inner_.GetFileAttrs(source)) ||
                   inner_.IsSameFile(source, destination)))
    return inner_.CopyFileOver(source, destination);
  // A file replaced keeps its name as the directory holds it.
  std::string actual;
  if (replaces) {
    actual = OnDisk(destination);
    destination = actual.c_str();
    created.first = actual;
  }
  if (replaces && !SetAside(destination, true)) return false;
  const bool stamped = created.putKnown;
  if (!replaces) created.number = kCreatedNew;
  if (!Record(std::move(created))) {
    if (replaces) PutBack(destination);
    return false;
  }
  const bool done = inner_.CopyFileOver(source, destination);
  if (!done) {
    Cancel();
    if (replaces) PutBack(destination);
    return false;
  }
  if (!stamped) Written(destination);
  return true;
}

void RollbackPlatform::Written(const char* path) {
  JournalRecord written;
  written.kind = kJournalWritten;
  written.putKnown = inner_.StampOf(path, written.put);
  // A stamp that cannot be taken leaves the undo to the checks for a copy
  // cut short; one that cannot be written breaks the journal, and the run
  // stops at its next change or at its commit.
  if (written.putKnown) (void)Record(std::move(written));
}

bool RollbackPlatform::MoveFileTo(const char* source,
                                  const char* destination) {
  if (!Journaling()) return inner_.MoveFileTo(source, destination);
  if (!RecordMove(source, destination)) return false;
  const bool done = inner_.MoveFileTo(source, destination);
  if (!done) Cancel();
  return done;
}

bool RollbackPlatform::RecordMove(const char* source,
                                  const char* destination) {
  JournalRecord record;
  record.kind = kJournalMoved;
  record.heldKnown = inner_.StampOf(source, record.held);
  if (!inner_.FullPath(destination, record.second)) return false;
  record.first = OnDisk(source);  // moved back under that name
  record.second = Plain(record.second, PathSeparator(), codePage_);
  return Record(std::move(record));
}

bool RollbackPlatform::MoveFileOver(const char* source,
                                    const char* destination) {
  if (!Journaling()) return inner_.MoveFileOver(source, destination);
  const uint32_t attributes = inner_.GetFileAttrs(destination);
  const bool replaces = Exists(attributes);
  // Nothing to replace: a move to a new name, without a second look.
  if (!replaces) return MoveFileTo(source, destination);
  if (!Exists(inner_.GetFileAttrs(source)) || !Replaceable(attributes) ||
      inner_.IsSameFile(source, destination))
    return inner_.MoveFileOver(source, destination);
  const std::string actual = OnDisk(destination);
  destination = actual.c_str();
  if (!SetAside(destination, true)) return false;
  if (!RecordMove(source, destination)) {
    PutBack(destination);
    return false;
  }
  const bool done = inner_.MoveFileOver(source, destination);
  if (!done) {
    Cancel();
    PutBack(destination);
  }
  return done;
}

bool RollbackPlatform::DeleteOneFile(const char* path) {
  if (!Journaling()) return inner_.DeleteOneFile(path);
  const uint32_t attributes = inner_.GetFileAttrs(path);
  if (!Exists(attributes) || (attributes & kAttrDirectory) != 0 ||
      (attributes & kAttrReadOnly) != 0)
    return inner_.DeleteOneFile(path);  // refused as without a journal
  return SetAside(path);
}

bool RollbackPlatform::RemoveTreeAtOnce(const char* path) {
  if (!Journaling()) return false;
  if (!IsPlainDirectory(inner_.GetFileAttrs(path))) return false;
  // A read-only file stops a delete, and so does a name the system takes
  // for a device or a directory that cannot be listed: the tree is then
  // deleted entry by entry, as far as a delete goes without a journal (a
  // saved tree holding such a name or directory could never be removed).
  const TreeLook look = LookThrough(inner_, Plain(path, PathSeparator(), codePage_),
                                    HasDeviceNames(), codePage_);
  if (look.readOnly || look.device || look.unlisted) return false;
  // Where no place keeps every path of the tree within the system's limit,
  // the entries go one by one, each where it fits.
  return SetAside(path, false, look.deepest);
}

bool RollbackPlatform::MoveTreeAtOnce(const char* source,
                                      const char* destination) {
  if (!Journaling() || !IsPlainDirectory(inner_.GetFileAttrs(source)) ||
      Exists(inner_.GetFileAttrs(destination)))
    return false;
  // Into a directory that is there already; one rename on one volume (a
  // move to another volume fails and is made entry by entry).
  const std::string target = Trimmed(destination, PathSeparator(), codePage_);
  const size_t cut = SeparatorBeforeName(target, PathSeparator(), codePage_);
  if (cut == std::string::npos || cut == 0 ||
      !IsPlainDirectory(inner_.GetFileAttrs(target.substr(0, cut).c_str())))
    return false;
  // A tree holding saved copies of this run is moved entry by entry: they
  // stay where the journal says they are.
  std::string from;
  if (!inner_.FullPath(source, from)) return false;
  from = Plain(from, PathSeparator(), codePage_);
  const auto holder = savedIn_.lower_bound(from);
  if (holder != savedIn_.end() &&
      holder->compare(0, from.size(), from) == 0 &&
      (holder->size() == from.size() ||
       holder->compare(from.size(), std::strlen(PathSeparator()),
                       PathSeparator()) == 0))
    return false;
  // A tree whose paths the rename would make longer than the system takes,
  // or may make so (a directory that cannot be listed to its end), is moved
  // entry by entry, as without a journal (each entry then fails or not on
  // its own).
  std::string to;
  if (!inner_.FullPath(target.c_str(), to)) return false;
  if (LongestPath() != 0 && PathLength(to, codePage_) > PathLength(from, codePage_)) {
    const TreeLook look = LookThrough(inner_, from, HasDeviceNames(), codePage_);
    if (look.unlisted || !Fits(PathLength(to, codePage_), look.deepest))
      return false;
  }
  if (!RecordMove(source, target.c_str())) return false;
  if (inner_.MoveFileTo(source, target.c_str())) return true;
  Cancel();
  return false;
}

bool RollbackPlatform::WriteShortcut(const char* target, const char* workDir,
                                     const char* arguments, int showCommand,
                                     const char* linkFile) {
  if (!Journaling())
    return inner_.WriteShortcut(target, workDir, arguments, showCommand,
                                linkFile);
  const uint32_t attributes = inner_.GetFileAttrs(linkFile);
  const bool replaces = Exists(attributes);
  if (replaces && !Replaceable(attributes))
    return inner_.WriteShortcut(target, workDir, arguments, showCommand,
                                linkFile);
  if (replaces ? !SetAside(linkFile) : !Record(kJournalCreated, linkFile))
    return false;
  if (replaces && !Record(kJournalCreated, linkFile)) {
    PutBack(linkFile);
    return false;
  }
  const bool done = inner_.WriteShortcut(target, workDir, arguments,
                                         showCommand, linkFile);
  if (!done) {
    Cancel();
    if (replaces) PutBack(linkFile);
    return false;
  }
  Written(linkFile);
  return true;
}

