// Rollback: the platform that journals every change a run makes to the file
// system, so that a run that stops, or is killed, can be undone.
//
// It stands between the engine and the system's platform and passes every
// call through; while a journal is open, each change is written to the
// journal before it is made. Old files are never copied: a file about to be
// replaced or deleted, and a whole tree about to be deleted, is set aside by
// one rename under a reserved name that every directory search of the run
// leaves out: beside where it is, or, where that would make a path longer
// than the system takes, into a folder of the run near the root of the
// same volume.
//
// The journal lives in the account's private state folder, named after the
// identity of the settings file, and is only acted on under a lock that the
// run of that settings file holds: another account, or a second start of
// the same update, can neither plant one nor have a live one undone.
//
// The sources: rollback.cc (the journal: claim, begin, records, commit),
// rollback_changes.cc (each change journaled), rollback_saved.cc (where
// saved copies go, and their removal), rollback_undo.cc (undo and
// recovery), rollback_tree.cc (path and tree helpers).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system_forwarder.h"
#include "platform/system_info.h"
#include "run/journal.h"

// The names of saved copies and journals begin with it.
extern const char kRollbackReservedPrefix[];

struct RollbackResult {
  int undone = 0;            // changes put back
  int failed = 0;            // changes that could not be put back
  std::string firstFailed;   // the path of the first of them
  std::vector<std::string> failedPaths;  // all of them, in the run's order
};

class RollbackPlatform : public FileSystemForwarder {
 public:
  // system gives the time that makes this run's saved names its own, and
  // the code page of the paths.
  RollbackPlatform(FileSystem& inner, const SystemInfo& system)
      : FileSystemForwarder(inner),
        clock_(system),
        codePage_(system.AnsiCodePage()) {}

  // The name of the journal of the settings file whose identity is given,
  // in folder (the private state folder).
  static std::string JournalName(const std::string& identity);

  enum class Claim {
    kTaken,   // this process holds the lock of the settings file's journal
    kBusy,    // another live run of the same settings file holds it
    kFailed,  // no trusted state folder, or the settings file is not there
  };
  // Finds where the journal of settingsPath lives and takes its lock. The
  // lock is held until Release or the end of the process. Without create,
  // nothing is made: with no state folder the answer is kFailed, and with
  // no journal of this settings file kTaken without a lock (there is
  // nothing of it to recover; Holding() tells).
  Claim Take(const char* settingsPath, bool create = true);
  bool Holding() const { return lock_ != nullptr; }
  void Release() { lock_.reset(); }
  // The journal's path (known after Take, or a guess at it).
  const std::string& JournalPath() const { return journalPath_; }

  // Opens the journal of the claimed settings file (written to a temporary
  // name, then renamed into place). False, with nothing changed, when it
  // cannot be made.
  bool Begin();
  bool Journaling() const { return journal_ != nullptr; }
  // A completed run: the commit mark is written and forced to the disk,
  // then the saved copies and the journal go. False when the mark could
  // not be written: the run is then to be rolled back.
  bool Commit();
  // A stopped run: every change is undone, newest first. What cannot be put
  // back keeps its saved copy and stays in the journal, which then holds
  // those changes only; otherwise the journal goes.
  RollbackResult RollBack();

  // Asked, when a completed run cannot remove a saved copy (a file in use,
  // or a folder that still holds one), to have it removed later; true when
  // it will be. Without one, such a copy stays under its reserved name.
  void SetLeftOverHandler(std::function<bool(const char*)> handler) {
    leftOver_ = std::move(handler);
  }

  enum class Recovery { kNone, kDone, kRefused };
  // At start, with the lock taken: the journal that an interrupted run of
  // the claimed settings file left, if any, is rolled back, and so is every
  // journal of this account whose settings file is gone (a package folder
  // removed after a killed run). kRefused when the settings file's own
  // journal is damaged, belongs to another settings file or names paths
  // that no run could have changed: it is then left as it is, and
  // refusedPath names it.
  // others receives what was done for those.
  Recovery Recover(RollbackResult& result, RollbackResult& others,
                   std::string& refusedPath);

  // The file system: the changes are journaled, the rest is passed on.
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override;
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override;
  bool SetFileAttrs(const char* path, uint32_t attributes) override;
  bool MakeDirectory(const char* path) override;
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileTo(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;
  bool RemoveTreeAtOnce(const char* path) override;
  bool MoveTreeAtOnce(const char* source, const char* destination) override;
  bool WriteShortcut(const char* target, const char* workDir,
                     const char* arguments, int showCommand,
                     const char* linkFile) override;

 private:
  // Writes a record ahead of its change; false when it could not be
  // written (the change is then not made). After a write that failed,
  // every later one fails: nothing is appended to a torn record.
  bool Record(JournalRecord record);
  bool Record(char kind, const char* first, const char* second = "",
              uint32_t number = 0);
  // Marks the record before as not done. Where the mark cannot be
  // written, the journal is broken: the run stops, and its undo takes the
  // last record as uncertain (RollBack), which is what it then is.
  void Cancel() { (void)Record(kJournalCancelled, ""); }
  // The record of a path the run is about to fill: held is what is there
  // now, put what the change will leave there.
  bool StampFor(const char* path, FileStamp& stamp);
  // The full path of path with its last name as the directory holds it.
  std::string OnDisk(const char* path);
  // Records the move of source, with its stamp.
  bool RecordMove(const char* source, const char* destination);
  // Records the stamp of what the last change put at path.
  void Written(const char* path);
  // True when the system takes some names for devices wherever they stand
  // (the commands' guard decides the same way: the systems whose separator
  // is "\\").
  bool HasDeviceNames() const { return PathSeparator()[0] == '\\'; }
  // True when directory holds reserved names only.
  bool HoldsOnlySaved(const std::string& directory);
  // Renames path aside under a new reserved name, journaled: beside it, or
  // where that makes a path longer than the system takes, into this run's
  // folder near the root of its volume (see SavedPlace). onDisk: path is
  // full, with its name as the directory holds it. deepest: what the paths
  // of a tree add to path's length (TreeLook::deepest), 0 for a file.
  bool SetAside(const char* path, bool onDisk = false, size_t deepest = 0);
  // Where a saved copy of full goes: the path, or empty when no place
  // keeps every path of it within the system's limit (nothing is changed
  // then). The folder near the root is made, journaled, when first used.
  std::string SavedPlace(const std::string& full, size_t deepest);
  std::string SavedFolder(const std::string& full, size_t deepest);
  // True when a path of length length with deepest more fits the system.
  bool Fits(size_t length, size_t deepest) const;
  // Puts back what SetAside did last (a change that then failed).
  void PutBack(const char* path);
  // True when a plain file or a link at path may be set aside before it is
  // replaced: not read-only, no directory.
  bool Replaceable(uint32_t attributes) const;
  // Removes a saved copy, a file or a tree; what cannot go is left for
  // later where the handler takes it.
  bool RemoveSaved(const std::string& path);
  // Removes the saved copies of every change in the journal, then the
  // journal: the end of a completed run.
  // False when the journal could not be read: it then stays, and the next
  // start finishes the removal.
  bool RemoveSavedCopies();
  bool ReadJournal(const std::string& path, std::string& text);
  // Undoes the records of the journal at journalPath_ of settingsPath_.
  Recovery RecoverJournal(RollbackResult& result);
  void RecoverOrphans(RollbackResult& result);
  RollbackResult Undo(const std::vector<JournalRecord>& records,
                      bool interrupted, std::vector<JournalRecord>& kept);
  bool UndoOne(const JournalRecord& record, bool newest, bool interrupted,
               bool& acted);
  bool Acceptable(const JournalRecord& record);
  // Ends with the records kept: a new journal holding them, or none.
  void Finish(const std::vector<JournalRecord>& kept);
  // Writes the journal anew (under a temporary name, renamed into place);
  // with keepOpen, journal_ then appends to it.
  bool WriteJournal(const std::vector<JournalRecord>& records, bool keepOpen);

  const SystemInfo& clock_;
  const CodePage codePage_;
  std::unique_ptr<FileLock> lock_;
  std::unique_ptr<AppendFile> journal_;
  bool broken_ = false;     // a journal write failed
  std::string stateDir_;
  std::string settingsPath_;  // the identity of the settings file
  std::string journalPath_;
  std::string token_;     // makes this run's folders near the roots unique
  uint32_t saved_ = 0;    // saved copies named so far
  // This run's folders near the roots of volumes, by the root they are in.
  std::map<std::string, std::string> savedFolders_;
  std::string lastSaved_; // the saved name of the last SetAside
  std::function<bool(const char*)> leftOver_;
  bool LeaveForLater(const std::string& path) {
    return leftOver_ && leftOver_(path.c_str());
  }
  // The directories that hold saved copies of this run: a tree holding one
  // is never moved at once (the copy would leave with it).
  std::set<std::string> savedIn_;
};
