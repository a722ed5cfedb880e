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

#include "platform/file_system_forwarder.h"
#include "platform/in_use.h"

struct Runtime;

// The names of the files that a run sets aside or writes beside a file in
// use begin with it.
extern const char kInUseReservedPrefix[];

// The question whether to close the programs that hold files (their names),
// and the word at the end that the update completes at the restart.
constexpr uint32_t kMsgCloseProgramsQuestion = 40;
constexpr uint32_t kMsgRestartRequired = 41;

class InUsePlatform : public FileSystemForwarder {
 public:
  InUsePlatform(FileSystem& inner, InUseHandling& system)
      : FileSystemForwarder(inner), system_(system) {}
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

  // The file system: changes that fail for a file in use are handled, the
  // searches leave out the names set aside; the rest is passed on.
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override;
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override;

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
