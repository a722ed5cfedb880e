// Process-wide state of one run: created by the entry point, passed to every
// operation of the engine. Nothing else in the engine is mutable and global.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/str_buf.h"
#include "platform/platform.h"
#include "run/error_report.h"
#include "run/proc_list.h"
#include "run/progress.h"
#include "run/symbol_list.h"
#include "run/transcript.h"

// Answers for message boxes in unattended mode (UPDATER_ANSWERS).
struct Answers {
  bool unattended = false;
  std::vector<std::string> words;
  size_t next = 0;
};

class RollbackPlatform;

struct Runtime {
  explicit Runtime(Platform& p) : platform(p) {}
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Platform& platform;

  StrBuf CommandLine;
  StrBuf Caption;
  StrBuf ModulePath;
  StrBuf SettingsPath;
  StrBuf UpdaterName;
  StrBuf UpdaterProc;

  // The level stack: the loaded levels, bottom first; it owns them.
  // LevelCount is kept equal to the number of entries.
  std::vector<std::unique_ptr<ProcLevel>> ProcListArray;
  int32_t LevelCount = 0;

  SymbolList SymbolTable;
  int32_t SymbolCount = 0;

  Answers answers;
  Transcript transcript;
  // Where error reports go: the error box, unless a checker collects them.
  ErrorSink* errorSink = &ErrorBoxSink();

  // The exit code tells the outcome (EXITCODE=1, or UPDATER_EXITCODE=1 in
  // the environment); otherwise it is always 0.
  bool outcomeExitCodes = false;
  // The settings file was found (start-up got past message 1).
  bool settingsFound = false;
  // A MSGBOX answer stopped the run (its ISABORT asked for it).
  bool stoppedByUser = false;
  // PROGRESS=1: the run shows how far it is.
  bool progressWanted = false;
  Progress progress;
  // ROLLBACK=1: the run's changes are journaled and undone if it stops.
  bool rollbackWanted = false;
  // The platform that journals the changes, when the entry put one
  // between the engine and the system.
  RollbackPlatform* rollback = nullptr;
  // Another live run of the same settings file holds its journal's lock.
  bool runInProgress = false;

  // The path separator of the platform ("\\" or "/").
  const char* Sep() const { return platform.PathSeparator(); }
};

// True on the NT family of Windows (always, on the platforms supported).
inline bool IsNtPlatform(Runtime& rt) { return rt.platform.IsNt(); }
