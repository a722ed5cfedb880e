#include "run/rollback_run.h"

#include <string>

#include "run/runtime.h"
#include "run/rollback.h"
#include "run/error_report.h"
#include "run/interaction.h"

namespace {

void ReportFailure(Runtime& rt, const RollbackResult& result) {
  if (result.failed > 0)
    ShowErrorReport(rt, kMsgRestoreFailed, result.firstFailed.c_str());
}

}  // namespace

bool RecoverInterruptedRun(Runtime& rt) {
  if (rt.rollback == nullptr) return true;
  RollbackResult result;
  std::string refused;
  switch (rt.rollback->Recover(rt.SettingsPath.Text(), result, refused)) {
    case RollbackPlatform::Recovery::kNone:
      return true;
    case RollbackPlatform::Recovery::kRefused:
      return ShowErrorReport(rt, kMsgJournalDamaged, refused.c_str());
    case RollbackPlatform::Recovery::kDone:
      break;
  }
  if (rt.transcript.IsOpen())
    rt.transcript.Counts("recover", result.undone, result.failed);
  ReportFailure(rt, result);
  return result.failed == 0;
}

bool BeginRollback(Runtime& rt) {
  if (!rt.rollbackWanted) return true;
  if (rt.rollback != nullptr && rt.rollback->Begin(rt.SettingsPath.Text()))
    return true;
  const std::string journal = RollbackPlatform::JournalPath(
      rt.SettingsPath.Text(), rt.Sep());
  return ShowErrorReport(rt, kMsgJournalNotMade, journal.c_str());
}

void EndRollback(Runtime& rt, bool completed) {
  if (rt.rollback == nullptr || !rt.rollback->Journaling()) return;
  if (completed) {
    rt.rollback->Commit();
    return;
  }
  const RollbackResult result = rt.rollback->RollBack();
  if (rt.transcript.IsOpen())
    rt.transcript.Counts("rollback", result.undone, result.failed);
  ReportFailure(rt, result);
  // The last thing the user sees says that the update was undone.
  if (result.failed == 0 && result.undone > 0) {
    char text[512];
    if (rt.platform.LoadResourceString(kMsgRolledBack, text, sizeof text) > 0)
      ShowMessageBox(rt, text, kMbIconInformation);
  }
}
