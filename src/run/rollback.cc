#include "run/rollback.h"

#include <chrono>
#include <cstdio>

#include "run/rollback_tree.h"

const char kRollbackReservedPrefix[] = "~updater-rollback.";

using rollback_tree::Base36;
using rollback_tree::Exists;
using rollback_tree::ForEachBlock;
using rollback_tree::LockPath;
using rollback_tree::Plain;

std::string RollbackPlatform::JournalName(const std::string& identity) {
  // FNV-1a, 64 bits: a short fixed name for a path of any length. The
  // header names the settings file whole, so two that meet on one name are
  // told apart (the second is refused, never mixed up).
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : identity) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.journal",
                static_cast<unsigned long long>(hash));
  return name;
}

RollbackPlatform::Claim RollbackPlatform::Take(const char* settingsPath,
                                               bool create) {
  lock_.reset();
  stateDir_.clear();
  journalPath_ = settingsPath;  // named by message 18 when nothing is found
  std::string identity;
  std::string folder;
  if (!inner_.IdentityPath(settingsPath, identity)) return Claim::kFailed;
  if (!inner_.PrivateStateDirectory(folder, create)) {
    if (!folder.empty()) journalPath_ = folder;
    return Claim::kFailed;
  }
  stateDir_ = folder;
  settingsPath_ = identity;
  journalPath_ = folder + PathSeparator() + JournalName(identity);
  // Only looking: where this settings file has no journal, no lock is
  // needed (a run that begins one later takes it then).
  if (!create && !Exists(inner_.GetFileAttrs(journalPath_.c_str())))
    return Claim::kTaken;
  LockResult taken = LockResult::kFailed;
  lock_ = inner_.TryLock(LockPath(journalPath_).c_str(), taken);
  if (taken == LockResult::kHeld) return Claim::kBusy;
  return lock_ ? Claim::kTaken : Claim::kFailed;
}

bool RollbackPlatform::Begin() {
  if (!lock_) return false;
  if (Exists(inner_.GetFileAttrs(journalPath_.c_str()))) return false;
  broken_ = false;
  if (!WriteJournal({}, true)) return false;
  // Names this run's folders near the roots of volumes: six base-36 digits
  // of the time, which another run would have to meet to the microsecond
  // (and a folder that is there already is passed over).
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  token_ = Base36(static_cast<uint64_t>(
                      std::chrono::duration_cast<std::chrono::microseconds>(now)
                          .count()),
                  6);
  saved_ = 0;
  savedIn_.clear();
  savedFolders_.clear();
  return true;
}

bool RollbackPlatform::WriteJournal(const std::vector<JournalRecord>& records,
                                    bool keepOpen) {
  // Written whole under a temporary name, then renamed into place: the
  // journal's name never holds a part of it, nor bytes of a torn record.
  journal_.reset();
  const std::string temporary = journalPath_ + ".tmp";
  // One left by a run that ended while writing it never took effect. Where
  // it cannot be deleted, the new one cannot be made either (below).
  if (Exists(inner_.GetFileAttrs(temporary.c_str())))
    (void)inner_.DeleteOneFile(temporary.c_str());
  std::unique_ptr<AppendFile> file =
      inner_.CreatePrivateFile(temporary.c_str());
  if (!file) return false;
  std::string text = EncodeJournalHeader(settingsPath_);
  for (const JournalRecord& record : records)
    text += EncodeJournalRecord(record);
  text.pop_back();  // WriteLine ends the last line
  if (!file->WriteLine(text) || (!keepOpen && !file->Flush()) ||
      !inner_.MoveFileOver(temporary.c_str(), journalPath_.c_str())) {
    file.reset();
    // A temporary that stays is never read: the next one deletes it.
    (void)inner_.DeleteOneFile(temporary.c_str());
    return false;
  }
  if (keepOpen) {
    journal_ = std::move(file);
    broken_ = false;
  }
  return true;
}

bool RollbackPlatform::Record(JournalRecord record) {
  if (!journal_ || broken_) return false;
  std::string line = EncodeJournalRecord(record);
  line.pop_back();
  if (journal_->WriteLine(line)) return true;
  broken_ = true;
  return false;
}

bool RollbackPlatform::Record(char kind, const char* first,
                              const char* second, uint32_t number) {
  JournalRecord record;
  record.kind = kind;
  record.number = number;
  if (kind != kJournalCancelled && kind != kJournalCommitted) {
    if (!inner_.FullPath(first, record.first)) return false;
    record.first = Plain(record.first, PathSeparator(), codePage_);
    if (*second != '\0') {
      if (!inner_.FullPath(second, record.second)) return false;
      record.second = Plain(record.second, PathSeparator(), codePage_);
    }
  }
  return Record(std::move(record));
}

bool RollbackPlatform::Commit() {
  if (!journal_) return true;
  // The mark is on the disk before the first saved copy goes: from then on
  // a crash leaves a journal that the next start completes instead of
  // undoing.
  if (!Record(kJournalCommitted, "") || !journal_->Flush()) return false;
  journal_.reset();
  // A journal that cannot be read now stays, marked: the next start
  // removes the saved copies.
  (void)RemoveSavedCopies();
  return true;
}

bool RollbackPlatform::RemoveSavedCopies() {
  // Streamed: the journal of a long run is never held whole. A saved copy
  // whose change was cancelled is no longer there. The folders near the
  // roots go last, once the copies in them are gone.
  std::string pending;
  std::vector<std::string> folders;
  size_t at = EncodeJournalHeader(settingsPath_).size();
  const bool read =
      ForEachBlock(inner_, journalPath_, [&](const char* data, uint32_t size) {
        pending.append(data, size);
        JournalRecord record;
        size_t next = at;
        while (ReadJournalRecord(pending, at, record, next) ==
               JournalRead::kRecord) {
          // A copy that can neither be removed nor left for the restart
          // stays under its reserved name (a file in use on Windows without
          // INUSE=RESTART); the journal goes all the same, since one kept
          // would stop every later run with rollback.
          if (record.kind == kJournalSetAside)
            (void)RemoveSaved(record.second);
          else if (record.kind == kJournalMadeDirectory &&
                   record.number == kSavedFolder)
            folders.push_back(record.first);
          at = next;
        }
        pending.erase(0, at);
        at = 0;
      });
  if (!read) return false;
  for (const std::string& folder : folders)
    if (Exists(inner_.GetFileAttrs(folder.c_str())))
      (void)(inner_.RemoveDir(folder.c_str()) || LeaveForLater(folder));
  // A committed journal that cannot be deleted is finished again by the
  // next start, which finds nothing left to remove.
  (void)inner_.DeleteOneFile(journalPath_.c_str());
  savedIn_.clear();
  savedFolders_.clear();
  return true;
}

bool RollbackPlatform::ReadJournal(const std::string& path,
                                   std::string& text) {
  text.clear();
  return ForEachBlock(inner_, path, [&text](const char* data, uint32_t size) {
    text.append(data, size);
  });
}

void RollbackPlatform::Finish(const std::vector<JournalRecord>& kept) {
  journal_.reset();
  savedFolders_.clear();
  if (kept.empty()) {
    // One that cannot be deleted holds only changes undone, each cancelled
    // (or, after a failure, is written anew below): the next start finds
    // nothing to undo and deletes it.
    (void)inner_.DeleteOneFile(journalPath_.c_str());
    return;
  }
  // Every change kept was made: the next start undoes them all. Where the
  // journal cannot be written anew, the one there still holds them, and
  // the next start, which looks before it undoes, passes over what was
  // put back since.
  std::vector<JournalRecord> settled(1);
  settled[0].kind = kJournalSettled;
  settled.insert(settled.end(), kept.begin(), kept.end());
  (void)WriteJournal(settled, false);
}

