#include "commands/dispatch.h"

#include <memory>
#include <new>

#include "commands/command_table.h"
#include "platform/stop_request.h"
#include "run/error_report.h"
#include "run/levels.h"
#include "settings/settings_reader.h"

namespace {

// The row's first list must name at least one item: an empty one stops the
// run with message 4, before the executor runs.
bool FirstListGiven(Runtime& rt, const Command& row, const Procedure& record) {
  if (row.firstList == nullptr) return true;
  const RecordKey* key = FindKey(row, row.firstList, rt.codePage);
  const StrBuf* list = key != nullptr ? key->text(record) : nullptr;
  if (list == nullptr || list->FieldCount(",", rt.codePage) != 0) return true;
  return ShowKeyErrorReport(rt, kMsgItemCount, record.name.Text(),
                            row.firstList);
}

}  // namespace

ProcList LoadProcedureList(Runtime& rt, const StrBuf& list, int32_t count) {
  if (count <= 0) {
    ShowErrorReport(rt, kMsgProcedureCount);
    return nullptr;
  }
  std::unique_ptr<ProcLevel> level(new (std::nothrow) ProcLevel);
  if (level == nullptr || !level->Reserve(count)) {
    ShowErrorReport(rt, kMsgOutOfMemory, "ProcList");
    return nullptr;
  }
  // On every early return the level and the records loaded so far are
  // destroyed, first to last.
  for (int32_t i = 0; i < count; ++i) {
    StrBuf name = list.Field(i, ",", rt.codePage);
    name.Trim(" ", " ", rt.codePage);
    StrBuf mode;
    bool loaded = GetSettingString(rt, name.Text(), "MODE", mode, "ProcList");
    const Command* command = loaded ? FindCommand(mode, rt.codePage) : nullptr;
    if (loaded && command == nullptr)
      ShowErrorReport(rt, kMsgBadSymbol, mode.Text());
    std::unique_ptr<Procedure> record =
        command != nullptr ? LoadRecord(rt, *command, name) : nullptr;
    // The loader reads MODE again; should the settings file have changed
    // between the two readings, the record's MODE names another command and
    // the run stops here.
    if (record != nullptr &&
        FindCommand(record->MODE, rt.codePage) != command) {
      ShowErrorReport(rt, kMsgBadSymbol, record->MODE.Text());
      return nullptr;
    }
    if (record == nullptr) return nullptr;
    // Room for count records was made above: this cannot fail.
    level->Add(std::move(record));
  }
  ProcList loaded = level.get();
  if (!PushLevel(rt, level)) {
    ShowErrorReport(rt, kMsgOutOfMemory, "ProcListArray");
    return nullptr;
  }
  return loaded;
}

bool ExecuteProcedureList(Runtime& rt, ProcList list) {
  if (list == nullptr) return false;
  const int32_t steps = list->Size();
  for (int32_t i = 0; i < steps; ++i) {
    // A stop requested from outside ends the run here, as a failure.
    if (StopRequested()) return false;
    Procedure& record = *(*list)[i];
    // The row that loaded the record runs it.
    const Command* command = record.row;
    if (command == nullptr)
      return ShowErrorReport(rt, kMsgBadSymbol, record.MODE.Text());
    int level = rt.LevelCount;
    rt.progress.Begin(record.name.Text(), i, steps);
    bool result = false;
    try {
      result =
          FirstListGiven(rt, *command, record) && command->execute(rt, record);
    } catch (const std::bad_alloc&) {
      // Memory ran out in the middle of the procedure (a long listing, a
      // long text): it fails with message 3 naming it, and the run stops
      // as after any failure (undone under rollback).
      result = ShowOutOfMemory(rt, record.name.Text());
    }
    rt.progress.End();
    if (rt.transcript.IsOpen())
      rt.transcript.Proc(rt.platform.system().AnsiToUtf8(record.name.Text()),
                         rt.platform.system().AnsiToUtf8(record.MODE.Text()),
                         level, result, record.ResultFlag);
    if (!result) return false;
  }
  return true;
}
