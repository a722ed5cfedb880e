#include "commands/dispatch.h"

#include "commands/command_table.h"
#include "run/error_report.h"
#include "run/levels.h"
#include "settings/settings_reader.h"

ProcList LoadProcedureList(Runtime& rt, const StrBuf& list, int32_t count) {
  if (count <= 0) {
    ShowErrorReport(rt, kMsgProcedureCount);
    return nullptr;
  }
  ProcList array =
      new (std::nothrow) Procedure*[static_cast<size_t>(count) + 1]();
  if (array == nullptr) {
    ShowErrorReport(rt, kMsgOutOfMemory, "ProcList");
    return nullptr;
  }
  for (int32_t i = 0; i < count; ++i) {
    StrBuf name = list.Field(i, ",");
    name.Trim(" ", " ");
    StrBuf mode;
    bool loaded = GetSettingString(rt, name.Text(), "MODE", mode);
    const Command* command = loaded ? FindCommand(mode) : nullptr;
    if (loaded && command == nullptr)
      ShowErrorReport(rt, kMsgBadSymbol, mode.Text());
    if (command != nullptr) array[i] = command->load(rt, *command, name);
    // The executor is chosen again by the record's own MODE; should the
    // settings file have changed between the two readings, the record must
    // not reach another command's executor.
    if (array[i] != nullptr && FindCommand(array[i]->MODE) != command) {
      ShowErrorReport(rt, kMsgBadSymbol, array[i]->MODE.Text());
      delete array[i];
      array[i] = nullptr;
    }
    if (array[i] == nullptr) {
      FreeLevel(rt, array);
      return nullptr;
    }
  }
  if (!PushLevel(rt, array)) {
    ShowErrorReport(rt, kMsgOutOfMemory, "ProcListArray");
    FreeLevel(rt, array);
    return nullptr;
  }
  return array;
}

bool ExecuteProcedureList(Runtime& rt, ProcList list) {
  if (list == nullptr) return false;
  int32_t steps = 0;
  if (rt.progress.IsOn())
    while (list[steps] != nullptr) ++steps;
  for (ProcList entry = list; *entry != nullptr; ++entry) {
    Procedure& record = **entry;
    const Command* command = FindCommand(record.MODE);
    if (command == nullptr)
      return ShowErrorReport(rt, kMsgBadSymbol, record.MODE.Text());
    int level = rt.LevelCount;
    rt.progress.Begin(record.name.Text(), static_cast<int32_t>(entry - list),
                      steps);
    bool result = command->execute(rt, record);
    rt.progress.End();
    if (rt.transcript.IsOpen())
      rt.transcript.Proc(rt.platform.AnsiToUtf8(record.name.Text()),
                         rt.platform.AnsiToUtf8(record.MODE.Text()), level,
                         result, record.ResultFlag);
    if (!result) return false;
  }
  return true;
}
