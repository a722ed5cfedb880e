#include "commands/switch_command.h"

#include "commands/dispatch.h"
#include "run/error_report.h"
#include "run/levels.h"

bool ExecuteSwitch(Runtime& rt, Procedure& record) {
  auto& self = static_cast<SwitchProcedure&>(record);
  StrBuf name = self.PROC;
  name.Trim(" ", " ", rt.codePage);
  Procedure* target = FindProcedure(GetCurrentLevel(rt), name, rt.codePage);
  if (target == nullptr)
    return ShowErrorReport(rt, kMsgBadSymbol, self.PROC.Text());
  const StrBuf& chosen = target->ResultFlag != 0 ? self.list1 : self.list0;
  int32_t n = chosen.FieldCount(",", rt.codePage);
  if (n == 0) return true;
  if (rt.LevelCount >= kMaxLevels)
    return ShowErrorReport(rt, kMsgNestingTooDeep, self.name.Text());
  if (LoadProcedureList(rt, chosen, n) == nullptr) return false;
  if (!ExecuteProcedureList(rt, GetCurrentLevel(rt))) return false;
  FreeLevel(rt, GetCurrentLevel(rt));
  return true;
}
