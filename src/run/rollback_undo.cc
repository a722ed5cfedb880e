#include "run/rollback.h"

#include <algorithm>
#include <cstring>

#include "base/path_parts.h"
#include "run/rollback_tree.h"

using rollback_tree::Exists;
using rollback_tree::IsDirectoryLink;
using rollback_tree::IsPlainDirectory;
using rollback_tree::IsReserved;
using rollback_tree::kJournalSuffix;
using rollback_tree::LockPath;
using rollback_tree::Plain;

namespace {

bool SameObject(const FileStamp& a, const FileStamp& b) {
  return a.volume == b.volume && a.index == b.index;
}

// cur holds what put describes: the contents a copy or a move across
// volumes gave it (its size and time; a file system may keep the time
// coarser, by up to two seconds).
bool SameContent(const FileStamp& put, const FileStamp& cur) {
  if (cur.directory != put.directory || cur.link != put.link) return false;
  if (cur.directory) return SameObject(put, cur);
  if (cur.size != put.size) return false;
  if (put.link) return true;  // a link made anew has a time of its own
  return cur.time <= put.time && put.time - cur.time < 2000000000ull;
}

}  // namespace

RollbackResult RollbackPlatform::RollBack() {
  RollbackResult result;
  if (!journal_) return result;
  journal_.reset();
  // After a write that failed, the last record may stand for a change that
  // was never made, or whose cancel mark was lost.
  const bool uncertain = broken_;
  std::string text;
  std::vector<JournalRecord> records;
  if (!ReadJournal(journalPath_, text) ||
      ParseJournal(text, settingsPath_, records) != JournalState::kValid) {
    result.failed = 1;
    result.firstFailed = journalPath_;
    result.failedPaths.push_back(journalPath_);
    return result;
  }
  text.clear();
  // A commit mark that could not be forced to the disk does not count: the
  // run is undone.
  if (!records.empty() && records.back().kind == kJournalCommitted)
    records.pop_back();
  // Written anew first: the cancel marks never follow a torn record. When
  // even that fails, the undo goes on without them, and Finish writes what
  // is left.
  (void)WriteJournal(records, true);
  std::vector<JournalRecord> kept;
  result = Undo(records, uncertain, kept);
  Finish(kept);
  savedIn_.clear();
  return result;
}

RollbackPlatform::Recovery RollbackPlatform::Recover(
    RollbackResult& result, RollbackResult& others, std::string& refusedPath) {
  result = RollbackResult();
  others = RollbackResult();
  if (stateDir_.empty()) return Recovery::kNone;
  refusedPath = journalPath_;
  const Recovery own = lock_ ? RecoverJournal(result) : Recovery::kNone;
  RecoverOrphans(others);
  return own;
}

RollbackPlatform::Recovery RollbackPlatform::RecoverJournal(
    RollbackResult& result) {
  // A journal still under its temporary name never took effect: no change
  // is made before it has its name.
  const std::string temporary = journalPath_ + ".tmp";
  // One that cannot be deleted is tried again by the next journal written.
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    (void)inner_.DeleteOneFile(temporary.c_str());
  const uint32_t attributes = inner_.GetFileAttrs(journalPath_.c_str());
  if (!Exists(attributes)) return Recovery::kNone;
  std::string text;
  std::vector<JournalRecord> records;
  if ((attributes & (kAttrDirectory | kAttrReparsePoint)) != 0 ||
      !ReadJournal(journalPath_, text) ||
      ParseJournal(text, settingsPath_, records) != JournalState::kValid)
    return Recovery::kRefused;
  text.clear();
  if (!records.empty() && records.back().kind == kJournalCommitted) {
    // The run completed; its end was cut short.
    records.pop_back();
    for (const JournalRecord& record : records)
      if (!Acceptable(record)) return Recovery::kRefused;
    // Read a moment ago; one that cannot be read again is not acted on.
    return RemoveSavedCopies() ? Recovery::kDone : Recovery::kRefused;
  }
  // A journal written anew after an undo begins with a mark: its changes
  // were all made.
  const bool settled =
      !records.empty() && records.front().kind == kJournalSettled;
  for (size_t i = settled ? 1 : 0; i < records.size(); ++i)
    if (!Acceptable(records[i])) return Recovery::kRefused;
  // Cut back to the last whole record; where that fails the undo goes on
  // without cancel marks, and Finish writes what is left.
  (void)WriteJournal(records, true);
  if (settled) records.erase(records.begin());
  std::vector<JournalRecord> kept;
  result = Undo(records, !settled, kept);
  Finish(kept);
  return Recovery::kDone;
}

void RollbackPlatform::RecoverOrphans(RollbackResult& result) {
  // The journals of this account whose settings file is gone: nobody
  // would ever start that update again to finish them.
  const std::string ownJournal = journalPath_;
  const std::string ownSettings = settingsPath_;
  std::vector<std::string> names;
  {
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        inner_.StartSearchInside(stateDir_.c_str(), entry);
    if (search) {
      do {
        const size_t n = sizeof kJournalSuffix - 1;
        if ((entry.attributes & kAttrDirectory) == 0 && entry.name.size() > n &&
            entry.name.compare(entry.name.size() - n, n, kJournalSuffix) == 0)
          names.push_back(entry.name);
      } while (search->Next(entry));
    }
  }
  for (const std::string& name : names) {
    const std::string path = stateDir_ + PathSeparator() + name;
    if (path == ownJournal) continue;
    std::string text;
    std::string settings;
    if (!ReadJournal(path, text) || !ReadJournalHeader(text, settings) ||
        JournalName(settings) != name ||
        Exists(inner_.GetFileAttrs(settings.c_str())))
      continue;
    LockResult taken = LockResult::kFailed;
    std::unique_ptr<FileLock> lock =
        inner_.TryLock(LockPath(path).c_str(), taken);
    if (!lock) continue;  // its run is live, or it cannot be told
    journalPath_ = path;
    settingsPath_ = settings;
    RollbackResult one;
    if (RecoverJournal(one) == Recovery::kDone) {
      result.undone += one.undone;
      result.failed += one.failed;
      for (const std::string& failed : one.failedPaths)
        result.failedPaths.push_back(failed);
      if (result.firstFailed.empty()) result.firstFailed = one.firstFailed;
    }
  }
  journalPath_ = ownJournal;
  settingsPath_ = ownSettings;
}

bool RollbackPlatform::Acceptable(const JournalRecord& record) {
  const char* sep = PathSeparator();
  // A full path, as the journal writes them, and no root.
  auto plain = [this](const std::string& path) {
    std::string full;
    if (path.empty() || path.find('\0') != std::string::npos ||
        !inner_.FullPath(path.c_str(), full) || full != path)
      return false;
    return !inner_.IsFileSystemRoot(path.c_str(), false);
  };
  if (!IsChangeKind(record.kind)) return false;
  if (!plain(record.first)) return false;
  if (record.kind == kJournalMoved) return plain(record.second);
  const size_t n = std::strlen(sep);
  // A folder for saved copies lies in the root of a volume, under a
  // reserved name.
  auto savedFolder = [&](const std::string& folder) {
    const size_t cut = SeparatorBeforeName(folder, sep, codePage_);
    return cut != std::string::npos &&
           IsReserved(folder.substr(cut + n)) &&
           inner_.IsFileSystemRoot(folder.substr(0, cut + n).c_str(), false);
  };
  if (record.kind == kJournalMadeDirectory && record.number == kSavedFolder &&
      !savedFolder(record.first))
    return false;
  if (record.kind != kJournalSetAside) return record.second.empty();
  // A saved copy lies beside its file, under a reserved name, or in such a
  // folder in the root of the file's path.
  if (!plain(record.second)) return false;
  const size_t cut = SeparatorBeforeName(record.first, sep, codePage_);
  if (cut == std::string::npos) return false;
  if (record.second.compare(0, cut + n, record.first, 0, cut + n) == 0 &&
      record.second.find(sep, cut + n) == std::string::npos &&
      IsReserved(record.second.substr(cut + n)))
    return true;
  const size_t inFolder = SeparatorBeforeName(record.second, sep, codePage_);
  if (inFolder == std::string::npos) return false;
  const std::string folder = record.second.substr(0, inFolder);
  const size_t root = SeparatorBeforeName(folder, sep, codePage_);
  return root != std::string::npos &&
         record.first.compare(0, root + n, folder, 0, root + n) == 0 &&
         savedFolder(folder);
}

RollbackResult RollbackPlatform::Undo(
    const std::vector<JournalRecord>& records, bool interrupted,
    std::vector<JournalRecord>& kept) {
  RollbackResult result;
  kept.clear();
  for (size_t i = records.size(); i-- > 0;) {
    bool acted = false;
    if (UndoOne(records[i], i + 1 == records.size(), interrupted, acted)) {
      // A file replaced by a copy is one change in two records.
      const bool secondHalf = records[i].kind == kJournalCreated && i > 0 &&
                              records[i - 1].kind == kJournalSetAside &&
                              records[i - 1].first == records[i].first;
      // The folder for saved copies near a root is no change of the run's.
      const bool savedFolder = records[i].kind == kJournalMadeDirectory &&
                               records[i].number == kSavedFolder;
      if (acted && !secondHalf && !savedFolder) ++result.undone;
      // Each change undone is cancelled in the journal at once: a crash
      // during the rollback leaves only what is still to be undone. After
      // a failure the journal is written anew at the end instead.
      if (journal_ && result.failed == 0) Cancel();
      continue;
    }
    ++result.failed;
    kept.push_back(records[i]);
  }
  // The first in the order of the run.
  std::reverse(kept.begin(), kept.end());
  for (const JournalRecord& record : kept)
    result.failedPaths.push_back(record.first);
  if (!kept.empty()) result.firstFailed = kept.front().first;
  return result;
}

bool RollbackPlatform::UndoOne(const JournalRecord& record, bool newest,
                               bool interrupted, bool& acted) {
  // The newest record of an interrupted run may have been written without
  // its change being made, or with it made halfway.
  const bool maybeNotDone = newest && interrupted;
  const char* first = record.first.c_str();
  const char* second = record.second.c_str();
  FileStamp at;
  const bool there = inner_.StampOf(first, at);
  // What is at first is what the journal says was there before the change.
  const bool heldThere =
      there && record.heldKnown && SameObject(at, record.held);
  bool done = false;
  switch (record.kind) {
    case kJournalSetAside: {
      FileStamp saved;
      if (!inner_.StampOf(second, saved)) {
        // Put back already (an undo cut short), or never set aside.
        if (heldThere) return true;
        return maybeNotDone && !there;  // else: the saved copy vanished
      }
      if (record.heldKnown && !SameObject(saved, record.held))
        return false;  // not what was set aside
      // Something the run did not put there took the name: both are kept.
      if (there) return false;
      done = inner_.MoveFileTo(second, first);
      break;
    }
    case kJournalCreated: {
      if (!there) return true;
      if (at.directory && !at.link) return false;
      // Only what the run can be shown to have written goes: the contents
      // of its source, or (a copy to a new name cut short by the end of the
      // process, where the system writes it in place) a part of them.
      bool ours = record.putKnown && SameContent(record.put, at);
      if (!ours && maybeNotDone)
        ours = !record.putKnown ||
               (record.number == kCreatedNew && !at.directory && !at.link &&
                at.size < record.put.size);
      if (!ours) return false;
      if (at.directory) {
        done = inner_.RemoveDir(first);
      } else {
        const uint32_t attributes = inner_.GetFileAttrs(first);
        if (Exists(attributes) &&
            (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0)
          (void)inner_.SetFileAttrs(first, kAttrNormal);  // else the delete
                                                          // fails and says so
        done = inner_.DeleteOneFile(first);
      }
      break;
    }
    case kJournalMadeDirectory:
      if (!there) return true;
      if (!at.directory || at.link) return false;
      done = inner_.RemoveDir(first);
      break;
    case kJournalRemovedDirectory:
      if (there) return at.directory && !at.link;
      done = inner_.MakeDirectory(first);
      break;
    case kJournalMoved: {
      FileStamp moved;
      const bool arrived = inner_.StampOf(second, moved);
      // What lies at second is what was moved: the same file, or (across
      // volumes) a copy with its contents.
      const bool ours =
          arrived && (!record.heldKnown || SameObject(moved, record.held) ||
                      SameContent(record.held, moved));
      if (!there && arrived) {
        if (!ours) return false;
        done = inner_.MoveFileTo(second, first);
      } else if (there && !arrived) {
        // Moved back already, or never moved.
        if (heldThere) return true;
        return maybeNotDone && !record.heldKnown;
      } else if (there && arrived && maybeNotDone && heldThere && ours &&
                 !SameObject(moved, record.held) && !moved.directory) {
        // A move across volumes ended between its copy and the removal
        // of its source: the copy goes.
        done = inner_.DeleteOneFile(second);
      } else {
        // Something the run did not put there took a name: both are kept.
        return false;
      }
      break;
    }
    case kJournalAttributes:
      if (!there) return false;
      if (record.heldKnown) {
        if (!heldThere) return false;
        if (!at.link) {
          done = inner_.SetExactMode(first, record.held.mode);
          break;
        }
      }
      done = inner_.SetFileAttrs(first, record.number);
      break;
    default:
      return false;
  }
  acted = done;
  return done;
}

