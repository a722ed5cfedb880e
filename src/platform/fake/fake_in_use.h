// A test double of the handling of files in use: files held by scripted
// programs, a Restart Manager that lists and closes them, and a list of the
// changes pending for the next restart. HoldingFiles makes the changes that
// a hold forbids fail, as Windows does.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/file_system_forwarder.h"
#include "platform/in_use.h"

class FakeInUse : public InUseHandling {
 public:
  // How a program holds a file: sharing reading only (no rename, no
  // delete, no write), or reading and deletion, as a loaded program image
  // (renamed, never written or deleted).
  enum class Share { kRead, kReadDelete };
  struct Hold {
    std::string program;
    Share share = Share::kRead;
    bool closes = true;        // the program closes when asked
    bool restartable = true;   // it registered for a restart
  };
  std::map<std::string, Hold> holds;  // by path

  // The Restart Manager, as called.
  std::vector<std::string> sessionFiles;
  int listings = 0;
  int shutdowns = 0;
  std::vector<std::string> closed;     // programs closed
  std::vector<std::string> restarted;  // programs started again
  int restartCalls = 0;

  // The pending operations, with the entries of others.
  bool mayRegister = true;
  std::vector<RestartChange> pending;

  const Hold* HoldOf(const std::string& path) const;

  bool IsHeld(const char* path) override;
  bool ListHolders(const char* path,
                   std::vector<std::string>& programs) override;
  bool CloseHolders() override;
  void RestartClosed() override;
  bool CanRegisterAtRestart() override { return mayRegister; }
  bool RegisterAtRestart(const RestartChange& change) override;
  bool UnregisterAtRestart(const std::vector<RestartChange>& changes) override;
};

// A file system in front of another, where the holds of a FakeInUse forbid
// what they forbid on Windows.
class HoldingFiles : public FileSystemForwarder {
 public:
  HoldingFiles(FileSystem& inner, FakeInUse& inUse)
      : FileSystemForwarder(inner), inUse_(inUse) {}
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileTo(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;

 private:
  bool Renamable(const char* path) const;
  bool Writable(const char* path) const;
  // A held file renamed stays held under its new name.
  void Follow(const char* source, const char* destination);
  FakeInUse& inUse_;
};
