#include "core/main_list.h"

#include "commands/dispatch.h"
#include "run/error_report.h"
#include "run/levels.h"
#include "settings/settings_reader.h"

bool ReadUpdaterSection(Runtime& rt) {
  rt.LevelCount = 0;
  if (!GetSettingString(rt, "UPDATER", "NAME", rt.UpdaterName, "UpdaterName"))
    return false;
  return GetSettingString(rt, "UPDATER", "PROC", rt.UpdaterProc, "UpdaterProc");
}

bool RunUpdater(Runtime& rt) {
  int32_t n = rt.UpdaterProc.FieldCount(",", rt.codePage);
  if (n == 0) return ShowKeyErrorReport(rt, kMsgItemCount, "UPDATER", "PROC");
  if (LoadProcedureList(rt, rt.UpdaterProc, n) == nullptr) return false;
  if (!ExecuteProcedureList(rt, GetCurrentLevel(rt))) return false;
  FreeLevel(rt, GetCurrentLevel(rt));
  return true;
}
