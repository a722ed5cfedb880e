#include "run/rollback_run.h"

#include <string>

#include "run/runtime.h"
#include "run/rollback.h"
#include "run/error_report.h"
#include "run/interaction.h"

namespace {

// One error box naming every path that could not be put back, in the
// order of the run (the first ones when there are many).
void ReportFailure(Runtime& rt, const RollbackResult& result) {
  if (result.failed <= 0) return;
  constexpr size_t kNamed = 8;
  std::string paths;
  for (size_t i = 0; i < result.failedPaths.size() && i < kNamed; ++i) {
    if (i > 0) paths += "\n";
    paths += result.failedPaths[i];
  }
  if (result.failedPaths.size() > kNamed) paths += "\n...";
  if (paths.empty()) paths = result.firstFailed;
  // Always false: the caller tells from result whether the run may go on.
  (void)ShowErrorReport(rt, kMsgRestoreFailed, paths.c_str());
}

}  // namespace

bool RecoverInterruptedRun(Runtime& rt) {
  if (rt.rollback == nullptr) return true;
  // Only looking: a run without rollback makes nothing in the state folder.
  switch (rt.rollback->Take(rt.SettingsPath.Text(), false)) {
    case RollbackPlatform::Claim::kBusy:
      // A live run of this settings file: its journal is never touched.
      rt.runInProgress = true;
      return true;
    case RollbackPlatform::Claim::kFailed:
      // No journal can be trusted here; a run that asks for one is told.
      return true;
    case RollbackPlatform::Claim::kTaken:
      break;
  }
  RollbackResult result;
  RollbackResult others;
  std::string refused;
  const RollbackPlatform::Recovery recovery =
      rt.rollback->Recover(result, others, refused);
  if (recovery == RollbackPlatform::Recovery::kRefused)
    return ShowErrorReport(rt, kMsgJournalDamaged, refused.c_str());
  const bool acted =
      recovery == RollbackPlatform::Recovery::kDone || others.undone > 0 ||
      others.failed > 0;
  if (acted && rt.transcript.IsOpen())
    rt.transcript.Counts("recover", result.undone + others.undone,
                         result.failed + others.failed);
  // What another update left undone is reported; it does not stop this
  // one.
  ReportFailure(rt, others);
  ReportFailure(rt, result);
  return result.failed == 0;
}

bool BeginRollback(Runtime& rt) {
  if (rt.rollback == nullptr) return true;
  if (!rt.rollbackWanted) {
    // The lock is only held by runs that journal.
    rt.rollback->Release();
    return true;
  }
  if (!rt.rollback->Holding()) {
    // The state folder, and the lock, are made now.
    switch (rt.rollback->Take(rt.SettingsPath.Text(), true)) {
      case RollbackPlatform::Claim::kBusy:
        rt.runInProgress = true;
        return ShowErrorReport(rt, kMsgRunInProgress, rt.SettingsPath.Text());
      case RollbackPlatform::Claim::kFailed:
        return ShowErrorReport(rt, kMsgJournalNotMade,
                               rt.rollback->JournalPath().c_str());
      case RollbackPlatform::Claim::kTaken:
        break;
    }
  }
  if (rt.rollback->Begin()) return true;
  return ShowErrorReport(rt, kMsgJournalNotMade,
                         rt.rollback->JournalPath().c_str());
}

bool EndRollback(Runtime& rt, bool completed) {
  if (rt.rollback == nullptr || !rt.rollback->Journaling()) return completed;
  // A commit mark that cannot be written leaves a run that would be undone
  // at the next start: it is undone now, and the run has stopped.
  if (completed && rt.rollback->Commit()) {
    rt.rollback->Release();
    return true;
  }
  const RollbackResult result = rt.rollback->RollBack();
  rt.rollback->Release();
  if (rt.transcript.IsOpen())
    rt.transcript.Counts("rollback", result.undone, result.failed);
  ReportFailure(rt, result);
  // The last thing the user sees says that the update was undone.
  if (result.failed == 0 && result.undone > 0) {
    char text[512];
    if (rt.platform.ui().LoadResourceString(kMsgRolledBack, text, sizeof text) >
        0)
      (void)ShowMessageBox(rt, text, kMbIconInformation);  // OK only
  }
  return false;
}
