// Files in use: what the system offers when another program holds a file
// that an update must replace or delete. Windows answers with the Restart
// Manager (close the programs that hold a file, start them again later) and
// with changes registered for the next restart; a POSIX system never stops
// a rename or an unlink for a file in use, so there nothing is ever held.
// All texts are bytes in the ANSI code page.
#pragma once

#include <memory>
#include <string>
#include <vector>

// One change registered for the next restart: the deletion of path (target
// empty), or the replacement of target by path.
struct RestartChange {
  std::string path;
  std::string target;
};

class InUseHandling {
 public:
  virtual ~InUseHandling() = default;

  // True when path exists and another process holds it so that it cannot
  // be replaced, renamed or deleted: a sharing or lock violation, or access
  // denied while the Restart Manager names a program that holds it. A
  // read-only file, or one in a folder without rights, is not held.
  virtual bool IsHeld(const char* path) = 0;

  // Adds path to the run's Restart Manager session (started at the first
  // call) and lists the programs that hold the files added so far, by the
  // names the system shows. False when the list cannot be had.
  virtual bool ListHolders(const char* path,
                           std::vector<std::string>& programs) = 0;
  // Asks the programs that hold the added files to close, never forcing
  // them. False when one of them is still running.
  virtual bool CloseHolders() = 0;
  // The end of the run, whatever its outcome: the programs that were closed
  // and asked for it are started again, and the session ends.
  virtual void RestartClosed() = 0;

  // True when this process may register changes for the next restart (on
  // Windows: it may write the pending operations of the Session Manager).
  virtual bool CanRegisterAtRestart() = 0;
  // Registers one change for the next restart.
  virtual bool RegisterAtRestart(const RestartChange& change) = 0;
  // Removes the given changes from those registered for the next restart,
  // leaving every other entry as it was. False when one stays.
  virtual bool UnregisterAtRestart(
      const std::vector<RestartChange>& changes) = 0;
};

// The handling of this build (win32 or posix).
std::unique_ptr<InUseHandling> CreateSystemInUseHandling();
