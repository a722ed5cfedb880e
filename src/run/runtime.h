// Process-wide state of one run: created by the entry point, passed to every
// operation of the engine. Nothing else in the engine is mutable and global.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/code_page.h"
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
  // The first word that is none of yes, no, default and empty, as written
  // (blanks trimmed): start-up then fails.
  std::string badWord;
};

class RollbackPlatform;
class ProfileCache;
class InUsePlatform;

struct Runtime {
  explicit Runtime(Platform& p) : platform(p), codePage(p.codePage()) {}
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Platform& platform;
  // The rules of the system's ANSI code page, read once (by the platform):
  // every text of the run is in it.
  const CodePage& codePage;
  // The settings file read and parsed, made by the settings layer at its
  // first key read (SettingsFile in settings/settings_reader.h).
  std::shared_ptr<ProfileCache> settingsFile;

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
  // The transcript is the log of /log= (not UPDATER_TRANSCRIPT).
  bool logBySwitch = false;
  // A switch of the command line was refused (start-up failed: 1620).
  bool switchRefused = false;
  // /? or /help: the help was shown; the exit code is 0.
  bool helpShown = false;
  // The answer to a MSGBOX question stopped the run (its ISABORT asked for
  // it); a stop after a box with only OK is not the user's.
  bool stoppedByUser = false;
  // PROGRESS=1: the run shows how far it is.
  bool progressWanted = false;
  // /quiet: no progress is shown, whatever PROGRESS asks.
  bool progressHidden = false;
  Progress progress;
  // ROLLBACK=1: the run's changes are journaled and undone if it stops.
  bool rollbackWanted = false;
  // The platform that journals the changes, when the entry put one
  // between the engine and the system.
  RollbackPlatform* rollback = nullptr;
  // INUSE: a file that another program holds is handled by asking to close
  // the programs (CLOSE) or at the next restart (RESTART).
  bool inUseClose = false;
  bool inUseRestart = false;
  // The platform that handles files in use, when the entry put one between
  // the engine and the system; a completed run that registered changes for
  // the next restart sets restartRequired.
  InUsePlatform* inUse = nullptr;
  bool restartRequired = false;
  // Another live run of the same settings file holds its journal's lock.
  bool runInProgress = false;

  // The path separator of the platform ("\\" or "/").
  const char* Sep() const { return platform.files().PathSeparator(); }
};

// True on the NT family of Windows (always, on the platforms supported).
inline bool IsNtPlatform(Runtime& rt) { return rt.platform.system().IsNt(); }
