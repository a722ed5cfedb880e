// Files in use (INUSE of section UPDATER): the platform that stands between
// the engine and the rest, and takes over when a copy, move or delete fails
// because another program holds a file. With CLOSE it asks once per run
// whether to close the programs that hold the run's files; with RESTART it
// finishes the change at the next restart of the computer. Every other call,
// and every change while INUSE is off, is passed on unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/in_use.h"
#include "platform/platform.h"

struct Runtime;

// The names of the files that a run sets aside or writes beside a file in
// use begin with it.
extern const char kInUseReservedPrefix[];

// The question whether to close the programs that hold files (their names),
// and the word at the end that the update completes at the restart.
constexpr uint32_t kMsgCloseProgramsQuestion = 40;
constexpr uint32_t kMsgRestartRequired = 41;

class InUsePlatform : public Platform {
 public:
  InUsePlatform(Platform& inner, InUseHandling& system)
      : inner_(inner), system_(system) {}
  InUsePlatform(const InUsePlatform&) = delete;
  InUsePlatform& operator=(const InUsePlatform&) = delete;

  // The run whose INUSE choices apply and whose boxes ask the question.
  // Until it is attached, nothing is handled.
  // A saved copy of the rollback that the completed run cannot remove is
  // then deleted at the restart (with RESTART).
  void Attach(Runtime& rt);
  // With RESTART: a saved copy that cannot be removed now because a
  // program holds it (or a folder that still holds such a file) is
  // registered for deletion at the restart. True when it was.
  bool DeleteLeftOverAtRestart(const char* path);

  // The changes registered for the next restart by this run, oldest first.
  const std::vector<RestartChange>& Registered() const { return registered_; }
  // The end of the run: programs that were closed are started again.
  void RestartClosed() { system_.RestartClosed(); }
  // Takes back every registration of this run (a run rolled back). False
  // when one of them stays.
  bool UnregisterAll();

  // Platform: changes that fail for a file in use are handled.
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;

  // Platform: everything else is passed on.
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
  FileRead ReadFileIfChanged(const char* path, const ChangeStamp* unchanged,
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
  // While files in use are handled, the names set aside for the restart
  // are left out of every search, as rollback leaves out its saved copies.
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
  bool SetFileAttrs(const char* path, uint32_t attributes) override {
    return inner_.SetFileAttrs(path, attributes);
  }
  bool MakeDirectory(const char* path) override {
    return inner_.MakeDirectory(path);
  }
  bool MoveFileTo(const char* source, const char* destination) override {
    return inner_.MoveFileTo(source, destination);
  }
  bool RemoveTreeAtOnce(const char* path) override {
    return inner_.RemoveTreeAtOnce(path);
  }
  bool MoveTreeAtOnce(const char* source, const char* destination) override {
    return inner_.MoveTreeAtOnce(source, destination);
  }
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
                     const char* linkFile) override {
    return inner_.WriteShortcut(target, workDir, arguments, showCommand,
                                linkFile);
  }
  void ComInitialize() override { inner_.ComInitialize(); }
  void ComUninitialize() override { inner_.ComUninitialize(); }

 private:
  bool Handling() const;
  // With CLOSE: the programs that hold path are closed, after the run's one
  // question. True when they were.
  bool CloseHolders(const char* path);
  // With RESTART: the file at destination is replaced by source (copied,
  // or moved when move is set) now or at the next restart.
  bool ReplaceAtRestart(const char* source, const char* destination,
                        bool move);
  // With RESTART: path is deleted at the next restart.
  bool DeleteAtRestart(const char* path);
  // A free reserved name beside path; empty when none can be made.
  std::string ReservedBeside(const char* path);
  bool Register(const RestartChange& change);
  bool RegisteredForDeletion(const std::string& path) const;
  // Notes the folder of a file deleted now or at the restart.
  void NoteDeletedIn(const char* path);

  Platform& inner_;
  InUseHandling& system_;
  Runtime* rt_ = nullptr;
  bool asked_ = false;
  bool agreed_ = false;     // the question was answered Yes
  bool closable_ = true;    // no program outside the question was met
  std::vector<std::string> named_;  // the programs the question named
  std::vector<RestartChange> registered_;
  uint32_t reserved_ = 0;   // reserved names tried so far
  std::set<std::string> deletedIn_;  // folders of the files deleted
};

// At the end of a run, whatever its outcome: programs closed by the run are
// started again; a stopped run with ROLLBACK=1 takes back what it
// registered for the restart; a completed run that registered anything
// says that the update completes when the computer restarts (a message box
// and the transcript event "restart") and sets rt.restartRequired.
void FinishInUse(Runtime& rt, bool completed);
