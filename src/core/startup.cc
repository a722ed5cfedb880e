#include "core/startup.h"

#include <cstring>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "core/main_list.h"
#include "run/error_report.h"
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

// The default settings file: the program's path with the extension of its
// file name replaced by "ini", or with ".ini" appended when the file name
// has no extension.
StrBuf DefaultSettingsPath(const StrBuf& modulePath, const char* separator) {
  StrBuf path = modulePath;
  if (path.Field(-1, separator).Contains("."))
    path.ReplaceFields(-1, -1, ".", "ini");
  else
    path.Append(".ini");
  return path;
}

}  // namespace

void ReadCaption(Runtime& rt) {
  if (GetCommandLineOption(rt.CommandLine, 't', rt.Caption)) return;
  char caption[256];
  if (rt.platform.LoadResourceString(kDefaultCaptionId, caption,
                                    sizeof caption) <= 0)
    caption[0] = 0;
  caption[sizeof caption - 1] = 0;
  rt.Caption.Assign(caption);
}

StrBuf SettingsPathFor(const StrBuf& modulePath, const StrBuf& commandLine,
                       const char* separator) {
  StrBuf value;
  if (!GetCommandLineOption(commandLine, 'i', value))
    return DefaultSettingsPath(modulePath, separator);
  StrBuf path = modulePath.Fields(0, -2, separator);
  path.Append(separator);
  path.Append(value);
  return path;
}

bool GetCommandLineOption(const StrBuf& text, char letter, StrBuf& out) {
  char key[3] = {'/', letter, 0};
  out = text.Field(1, key);
  if (out.IsEmpty()) {
    key[0] = '-';
    out = text.Field(1, key);
  }
  if (out.IsEmpty()) return false;
  out = out.Word(0);
  return true;
}

bool Startup(Runtime& rt, const char* commandLine) {
  rt.CommandLine.Assign(commandLine);
  ReadCaption(rt);

  char module[kModulePathArea];
  std::memset(module, 0, sizeof module);
  uint32_t length = rt.platform.GetModulePath(module, kModulePathArea);
  module[kModulePathArea - 1] = 0;
  rt.ModulePath.Assign(module);

  rt.SettingsPath = SettingsPathFor(rt.ModulePath, rt.CommandLine, rt.Sep());

  // A program path that did not fit the work area was cut: no settings file
  // is looked for beside a path that is not the program's.
  if (length >= kModulePathArea ||
      !PathExists(rt.platform, rt.SettingsPath.Text()))
    return ShowErrorReport(rt, kMsgFileNotFound, rt.SettingsPath.Text());

  rt.settingsFound = true;
  LoadSymbols(rt);
  if (!ReadExitCodeOption(rt)) return false;
  // An interrupted run of this settings file is undone before anything
  // else happens.
  if (!RecoverInterruptedRun(rt)) return false;
  if (!ReadProgressOption(rt)) return false;
  if (!ReadRollbackOption(rt)) return false;
  // One journaled run of a settings file at a time.
  if (rt.runInProgress && rt.rollbackWanted)
    return ShowErrorReport(rt, kMsgRunInProgress, rt.SettingsPath.Text());
  if (!ReadUpdaterSection(rt)) return false;
  if (!rt.UpdaterName.IsEmpty()) rt.Caption.Assign(rt.UpdaterName);
  return true;
}

namespace {

// An on/off key of section UPDATER: missing, empty, NO_DATA or 0 is off, 1
// is on (blanks around it ignored, also those a pair of quotes kept); with
// words, NO and YES (any case) too. Any other value shows message 2 and
// fails.
bool ReadOnOffKey(Runtime& rt, const char* key, bool& on,
                  bool words = false) {
  StrBuf value;
  if (!ReadProfileString(rt.platform, rt.SettingsPath.Text(), "UPDATER", key,
                         value))
    return true;
  value.Trim(" ", " ");
  if (value.IsEmpty() || value.Equals("0") || (words && value.Equals("NO")))
    return true;
  if (value.Equals("1") || (words && value.Equals("YES"))) {
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

int OutcomeExitCode(const Runtime& rt, const char* outcome) {
  if (!rt.outcomeExitCodes) return 0;
  if (std::strcmp(outcome, "completed") == 0) return kExitCompleted;
  if (std::strcmp(outcome, "stopped") == 0)
    return rt.stoppedByUser ? kExitUserStopped : kExitFailed;
  if (rt.runInProgress && rt.rollbackWanted) return kExitRunInProgress;
  return rt.settingsFound ? kExitStartupFailed : kExitSettingsMissing;
}

int RunProgram(Runtime& rt, const char* commandLine) {
  SetUpInteraction(rt);
  rt.platform.ComInitialize();
  const char* outcome = "not-started";
  if (Startup(rt, commandLine) && BeginRollback(rt)) {
    if (rt.progressWanted) rt.progress.Open(rt.platform, rt.Caption.Text());
    outcome = RunUpdater(rt) ? "completed" : "stopped";
    rt.progress.Close();
    if (!EndRollback(rt, std::strcmp(outcome, "completed") == 0))
      outcome = "stopped";
  }
  FreeAllLevels(rt);
  rt.platform.ComUninitialize();
  const int code = OutcomeExitCode(rt, outcome);
  if (rt.transcript.IsOpen()) rt.transcript.End(outcome, code);
  return code;
}
