#include "core/startup.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "core/main_list.h"
#include "core/switches.h"
#include "run/error_report.h"
#include "run/in_use.h"
#include "run/interaction.h"
#include "run/levels.h"
#include "run/runtime.h"
#include "run/rollback_run.h"
#include "settings/settings_reader.h"
#include "settings/symbols.h"

namespace {

// Id of the default caption in the string table.
constexpr uint32_t kDefaultCaptionId = 100;
// The module path work area.
constexpr uint32_t kModulePathArea = 260;
// The help text's work area: a text of the string table has at most 4,095
// UTF-16 units, each at most three bytes in the ANSI code page (UTF-8 in the
// native build, two in code page 932).
constexpr size_t kHelpTextArea = 3 * 4096;

// The default settings file: the program's path with the extension of its
// file name replaced by "ini", or with ".ini" appended when the file name
// has no extension.
StrBuf DefaultSettingsPath(const StrBuf& modulePath, const char* separator,
                           const CodePage& cp) {
  StrBuf path = modulePath;
  if (path.Field(-1, separator, cp).Contains(".", cp))
    path.ReplaceFields(-1, -1, ".", "ini", cp);
  else
    path.Append(".ini");
  return path;
}

}  // namespace

void ReadCaption(Runtime& rt) {
  if (GetCommandLineOption(rt.CommandLine, 't', rt.Caption, rt.codePage))
    return;
  char caption[256];
  if (rt.platform.ui().LoadResourceString(kDefaultCaptionId, caption,
                                          sizeof caption) <= 0)
    caption[0] = 0;
  caption[sizeof caption - 1] = 0;
  rt.Caption.Assign(caption);
}

StrBuf SettingsPathFor(const StrBuf& modulePath, const StrBuf& commandLine,
                       const char* separator, const CodePage& cp) {
  StrBuf value;
  if (!GetCommandLineOption(commandLine, 'i', value, cp))
    return DefaultSettingsPath(modulePath, separator, cp);
  StrBuf path = modulePath.Fields(0, -2, separator, cp);
  path.Append(separator);
  path.Append(value);
  return path;
}

bool GetCommandLineOption(const StrBuf& text, char letter, StrBuf& out,
                          const CodePage& cp) {
  char key[3] = {'/', letter, 0};
  out = text.Field(1, key, cp);
  if (out.IsEmpty()) {
    key[0] = '-';
    out = text.Field(1, key, cp);
  }
  if (out.IsEmpty()) return false;
  out = out.Word(0, cp);
  return true;
}

bool Startup(Runtime& rt, const char* commandLine) {
  rt.CommandLine.Assign(commandLine);
  ReadCaption(rt);

  char module[kModulePathArea];
  std::memset(module, 0, sizeof module);
  uint32_t length = rt.platform.system().GetModulePath(module, kModulePathArea);
  module[kModulePathArea - 1] = 0;
  rt.ModulePath.Assign(module);

  rt.SettingsPath =
      SettingsPathFor(rt.ModulePath, rt.CommandLine, rt.Sep(), rt.codePage);

  // A program path that did not fit the work area was cut: no settings file
  // is looked for beside a path that is not the program's.
  if (length >= kModulePathArea ||
      !PathExists(rt.platform, rt.SettingsPath.Text()))
    return ShowErrorReport(rt, kMsgFileNotFound, rt.SettingsPath.Text());

  rt.settingsFound = true;
  // The settings file is never written: a log of /log= that names it is
  // dropped before its first line.
  if (rt.logBySwitch && rt.transcript.IsOpen() &&
      rt.platform.files().IsSameFile(rt.transcript.Path().c_str(),
                                     rt.SettingsPath.Text()))
    rt.transcript.Drop("is the settings file");
  if (!LoadSymbols(rt)) return false;
  if (!ReadExitCodeOption(rt)) return false;
  // A mistyped unattended answer would silently take a default button.
  if (!rt.answers.badWord.empty())
    return ShowErrorReport(rt, kMsgBadAnswer, rt.answers.badWord.c_str());
  // An interrupted run of this settings file is undone before anything
  // else happens.
  if (!RecoverInterruptedRun(rt)) return false;
  if (!ReadProgressOption(rt)) return false;
  if (!ReadRollbackOption(rt)) return false;
  if (!ReadInUseOption(rt)) return false;
  // One journaled run of a settings file at a time.
  if (rt.runInProgress && rt.rollbackWanted)
    return ShowErrorReport(rt, kMsgRunInProgress, rt.SettingsPath.Text());
  if (!ReadUpdaterSection(rt)) return false;
  if (!rt.UpdaterName.IsEmpty()) rt.Caption.Assign(rt.UpdaterName);
  return true;
}

namespace {

enum class Option { kOff, kGiven, kFailed };

// An option of section UPDATER, its blanks trimmed (also those a pair of
// quotes kept) into value: off when missing, empty, NO_DATA or 0, and with
// words when NO (any case). Memory that runs out shows message 3 naming
// the key.
Option ReadOption(Runtime& rt, const char* key, bool words, StrBuf& value) {
  const KeyRead got = ReadProfileString(
      SettingsFile(rt), rt.SettingsPath.Text(), "UPDATER", key, value);
  if (got == KeyRead::kNoMemory) {
    ShowErrorReport(rt, kMsgOutOfMemory, key);
    return Option::kFailed;
  }
  if (got == KeyRead::kMissing) return Option::kOff;
  value.Trim(" ", " ", rt.codePage);
  if (value.IsEmpty() || value.Equals("0", rt.codePage) ||
      (words && value.Equals("NO", rt.codePage)))
    return Option::kOff;
  return Option::kGiven;
}

// An on/off key of section UPDATER: off as ReadOption reads it, 1 is on;
// with words, YES (any case) too. Any other value shows message 2 and
// fails.
bool ReadOnOffKey(Runtime& rt, const char* key, bool& on,
                  bool words = false) {
  StrBuf value;
  const Option got = ReadOption(rt, key, words, value);
  if (got != Option::kGiven) return got == Option::kOff;
  if (value.Equals("1", rt.codePage) ||
      (words && value.Equals("YES", rt.codePage))) {
    on = true;
    return true;
  }
  return ShowKeyErrorReport(rt, kMsgBadFormat, "UPDATER", key);
}

}  // namespace

bool ReadExitCodeOption(Runtime& rt) {
  bool on = false;
  const bool ok = ReadOnOffKey(rt, "EXITCODE", on);
  // A value that is no choice asks for the codes all the same: start-up
  // fails with 1620. Off leaves what the environment asked for.
  if (on || !ok) rt.outcomeExitCodes = true;
  return ok;
}

bool ReadProgressOption(Runtime& rt) {
  return ReadOnOffKey(rt, "PROGRESS", rt.progressWanted);
}

bool ReadRollbackOption(Runtime& rt) {
  return ReadOnOffKey(rt, "ROLLBACK", rt.rollbackWanted, true);
}

bool ReadInUseOption(Runtime& rt) {
  StrBuf value;
  const Option got = ReadOption(rt, "INUSE", true, value);
  if (got != Option::kGiven) return got == Option::kOff;
  // CLOSE, RESTART, or both in either order; blanks around each ignored.
  bool close = false;
  bool restart = false;
  const int32_t count = value.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count && count <= 2; ++i) {
    StrBuf word = value.Field(i, ",", rt.codePage);
    word.Trim(" ", " ", rt.codePage);
    if (word.Equals("CLOSE", rt.codePage) && !close) {
      close = true;
    } else if (word.Equals("RESTART", rt.codePage) && !restart) {
      restart = true;
    } else {
      close = restart = false;
      break;
    }
  }
  if (!close && !restart)
    return ShowKeyErrorReport(rt, kMsgBadFormat, "UPDATER", "INUSE");
  rt.inUseClose = close;
  rt.inUseRestart = restart;
  return true;
}

int OutcomeExitCode(const Runtime& rt, const char* outcome) {
  if (!rt.outcomeExitCodes || rt.helpShown) return 0;
  if (rt.switchRefused) return kExitStartupFailed;
  if (std::strcmp(outcome, "completed") == 0)
    return rt.restartRequired ? kExitRestartRequired : kExitCompleted;
  if (std::strcmp(outcome, "stopped") == 0)
    return rt.stoppedByUser ? kExitUserStopped : kExitFailed;
  if (rt.runInProgress && rt.rollbackWanted) return kExitRunInProgress;
  return rt.settingsFound ? kExitStartupFailed : kExitSettingsMissing;
}

namespace {

// /? or /help: the help text of the string table, with the caption of /t
// (or the default); no settings file is read.
void ShowHelp(Runtime& rt) {
  ReadCaption(rt);
  std::vector<char> text(kHelpTextArea, 0);
  if (rt.platform.ui().LoadResourceString(kMsgHelp, text.data(),
                                          static_cast<int>(text.size())) <= 0)
    text[0] = 0;
  ShowHelpText(rt, text.data());
  rt.helpShown = true;
}

// A switch that cannot be taken: message 20 naming it, with the caption of
// /t (or the default); nothing runs.
void RefuseSwitch(Runtime& rt, const std::string& written) {
  ReadCaption(rt);
  rt.switchRefused = true;
  ShowErrorReport(rt, kMsgBadSwitch, written.c_str());
}

}  // namespace

namespace {

int RunWithSwitches(Runtime& rt, const char* commandLine) {
  const CommandSwitches switches = TakeSwitches(commandLine, rt.codePage);
  SetUpInteraction(rt, switches.interaction);
  rt.platform.system().ComInitialize();
  const char* outcome = "not-started";
  if (!switches.refused.empty() || switches.help) {
    rt.CommandLine.Assign(switches.rest.c_str());
    if (!switches.refused.empty())
      RefuseSwitch(rt, switches.refused);
    else
      ShowHelp(rt);
  } else if (Startup(rt, switches.rest.c_str()) && BeginRollback(rt)) {
    if (rt.progressWanted && !rt.progressHidden)
      rt.progress.Open(rt.platform, rt.codePage, rt.Caption.Text());
    outcome = RunUpdater(rt) ? "completed" : "stopped";
    rt.progress.Close();
    if (!EndRollback(rt, std::strcmp(outcome, "completed") == 0))
      outcome = "stopped";
    FinishInUse(rt, std::strcmp(outcome, "completed") == 0);
  }
  FreeAllLevels(rt);
  rt.platform.system().ComUninitialize();
  const int code = OutcomeExitCode(rt, outcome);
  if (rt.transcript.IsOpen()) rt.transcript.End(outcome, code);
  return code;
}

}  // namespace

int RunProgram(Runtime& rt, const char* commandLine) {
  try {
    return RunWithSwitches(rt, commandLine);
  } catch (const std::bad_alloc&) {
    // Memory ran out outside a procedure (at start-up, in the undo): the
    // run ends as stopped, with message 3. A journal left behind is taken
    // up at the next start, as after a run that was killed.
    ShowOutOfMemory(rt, "UPDATER");
    const int code = OutcomeExitCode(rt, "stopped");
    try {
      if (rt.transcript.IsOpen()) rt.transcript.End("stopped", code);
    } catch (const std::bad_alloc&) {
      // The transcript ends without its last line, as after a kill.
    }
    return code;
  }
}
