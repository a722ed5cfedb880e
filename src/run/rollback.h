// Rollback: the platform that journals every change a run makes to the file
// system, so that a run that stops, or is killed, can be undone.
//
// It stands between the engine and the system's platform and passes every
// call through; while a journal is open, each change is written to the
// journal before it is made. Old files are never copied: a file about to be
// replaced or deleted, and a whole tree about to be deleted, is set aside by
// one rename beside where it is, under a reserved name that every directory
// search of the run leaves out, as it leaves out the journal.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/journal.h"

// The names of saved copies and journals begin with it.
extern const char kRollbackReservedPrefix[];

struct RollbackResult {
  int undone = 0;            // changes put back
  int failed = 0;            // changes that could not be put back
  std::string firstFailed;   // the path of the first of them
};

class RollbackPlatform : public Platform {
 public:
  explicit RollbackPlatform(Platform& inner) : inner_(inner) {}
  ~RollbackPlatform() override = default;
  RollbackPlatform(const RollbackPlatform&) = delete;
  RollbackPlatform& operator=(const RollbackPlatform&) = delete;

  // The journal of a settings file: beside it, named after it.
  static std::string JournalPath(const char* settingsPath, const char* sep);

  // Opens the journal of the run of settingsPath (written to a temporary
  // name, then renamed into place). False, with nothing changed, when it
  // cannot be made.
  bool Begin(const char* settingsPath);
  bool Journaling() const { return journal_ != nullptr; }
  // A completed run: the saved copies and the journal go.
  void Commit();
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
  // At start: the journal that an interrupted run of settingsPath left, if
  // any, is rolled back. kRefused when it is damaged, belongs to another
  // settings file or names paths that no run could have changed: it is then
  // left as it is, and refusedPath names it.
  Recovery Recover(const char* settingsPath, RollbackResult& result,
                   std::string& refusedPath);

  // Platform: everything is passed on; the changes are journaled.
  const char* PathSeparator() const override { return inner_.PathSeparator(); }
  std::string AnsiToUtf8(const char* text) const override {
    return inner_.AnsiToUtf8(text);
  }
  std::string Utf8ToAnsi(const char* text) const override {
    return inner_.Utf8ToAnsi(text);
  }
  bool GetEnv(const char* name, std::string& value) const override {
    return inner_.GetEnv(name, value);
  }
  FileRead ReadFileIfChanged(const char* path, const FileStamp* unchanged,
                             FileLook& look, std::string& bytes) override {
    return inner_.ReadFileIfChanged(path, unchanged, look, bytes);
  }
  int LoadResourceString(uint32_t id, char* buffer, int size) override {
    return inner_.LoadResourceString(id, buffer, size);
  }
  int ShowBox(const char* text, const char* caption, unsigned style) override {
    return inner_.ShowBox(text, caption, style);
  }
  int ShowHelp(const char* text, const char* caption,
               bool boxAllowed) override {
    return inner_.ShowHelp(text, caption, boxAllowed);
  }
  std::unique_ptr<ProgressView> OpenProgress(const char* caption) override {
    return inner_.OpenProgress(caption);
  }
  bool CurrentDirectory(StrBuf& out) override {
    return inner_.CurrentDirectory(out);
  }
  uint32_t GetModulePath(char* buffer, uint32_t size) override {
    return inner_.GetModulePath(buffer, size);
  }
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override;
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override;
  uint32_t GetFileAttrs(const char* path) override {
    return inner_.GetFileAttrs(path);
  }
  bool IsFileSystemRoot(const char* path, bool followLast) override {
    return inner_.IsFileSystemRoot(path, followLast);
  }
  bool IsSameFile(const char* first, const char* second) override {
    return inner_.IsSameFile(first, second);
  }
  bool SetFileAttrs(const char* path, uint32_t attributes) override;
  bool MakeDirectory(const char* path) override;
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileTo(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;
  bool RemoveTreeAtOnce(const char* path) override;
  bool MoveTreeAtOnce(const char* source, const char* destination) override;
  bool FullPath(const char* path, std::string& out) override {
    return inner_.FullPath(path, out);
  }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) override {
    return inner_.OpenExclusive(path);
  }
  std::unique_ptr<AppendFile> OpenForAppend(const char* path) override {
    return inner_.OpenForAppend(path);
  }
  bool WindowsDirectory(StrBuf& out) override {
    return inner_.WindowsDirectory(out);
  }
  bool SystemDirectory(StrBuf& out) override {
    return inner_.SystemDirectory(out);
  }
  bool TempPath(StrBuf& out) override { return inner_.TempPath(out); }
  bool SpecialFolder(int csidl, StrBuf& out) override {
    return inner_.SpecialFolder(csidl, out);
  }
  bool FindAppPath(const char* name, AppPathValue what,
                   StrBuf& out) override {
    return inner_.FindAppPath(name, what, out);
  }
  bool IsNt() override { return inner_.IsNt(); }
  std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                              const char* workDir) override {
    return inner_.StartProgram(commandLine, workDir);
  }
  uint32_t FindProcessId(const char* name) override {
    return inner_.FindProcessId(name);
  }
  std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) override {
    return inner_.OpenForWait(processId);
  }
  bool WriteShortcut(const char* target, const char* workDir,
                     const char* arguments, int showCommand,
                     const char* linkFile) override;
  void ComInitialize() override { inner_.ComInitialize(); }
  void ComUninitialize() override { inner_.ComUninitialize(); }

 private:
  // Writes a record ahead of its change; false when it could not be
  // written (the change is then not made).
  bool Record(char kind, const char* first, const char* second = "",
              uint32_t number = 0);
  void Cancel() { Record(kJournalCancelled, ""); }
  // Renames path aside under a new reserved name beside it, journaled.
  bool SetAside(const char* path);
  // Puts back what SetAside did last (a change that then failed).
  void PutBack(const char* path);
  // True when a plain file or a link at path may be set aside before it is
  // replaced: not read-only, no directory.
  bool Replaceable(uint32_t attributes) const;
  bool HoldsReadOnly(const std::string& directory, int depth);
  // Removes a saved copy, a file or a tree.
  bool RemoveSaved(const std::string& path, int depth);
  // Removes the saved copies of every change in the journal, then the
  // journal: the end of a completed run.
  void RemoveSavedCopies();
  bool ReadJournal(std::string& text);
  RollbackResult Undo(const std::vector<JournalRecord>& records,
                      bool interrupted, std::vector<JournalRecord>& kept);
  bool UndoOne(const JournalRecord& record, bool newest, bool interrupted,
               bool& acted);
  bool Acceptable(const JournalRecord& record);
  // Ends with the records kept: a new journal holding them, or none.
  void Finish(const std::vector<JournalRecord>& kept);
  bool WriteJournal(const std::vector<JournalRecord>& records);

  Platform& inner_;
  std::unique_ptr<AppendFile> journal_;
  std::string settingsPath_;
  std::string journalPath_;
  std::string token_;     // makes this run's saved names unique
  uint32_t saved_ = 0;    // saved copies named so far
  std::string lastSaved_; // the saved name of the last SetAside
  std::function<bool(const char*)> leftOver_;
  bool LeaveForLater(const std::string& path) {
    return leftOver_ && leftOver_(path.c_str());
  }
};
