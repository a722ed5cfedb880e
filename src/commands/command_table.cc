#include "commands/command_table.h"

#include <iterator>

#include "commands/conditions.h"
#include "commands/crc.h"
#include "commands/file_commands.h"
#include "commands/launch.h"
#include "commands/link.h"
#include "commands/load_record.h"
#include "commands/msgbox.h"
#include "commands/switch_command.h"
#include "run/error_report.h"

namespace {

using H = CheckHook;

// In the order in which MODE is compared. Columns: MODE word, object name
// of message 3, the keys in reading order each with the member it fills,
// the first list, the procedure lists, the executor, the checker hook.
// clang-format off
const Command kCommands[] = {
    {"EXIST", "EXIST_INFO",
     KeysOf<ExistProcedure>(Key<&ExistProcedure::FILE>("FILE")),
     "FILE", {}, ExecuteExist, H::kNone},
    {"DATE", "DATE_INFO",
     KeysOf<DateProcedure>(Key<&DateProcedure::FILE>("FILE"), Key<&DateProcedure::DATE>("DATE")),
     "FILE", {}, ExecuteDate, H::kNone},
    {"SWITCH", "SWITCH_INFO",
     KeysOf<SwitchProcedure>(Key<&SwitchProcedure::PROC>("PROC"), Key<&SwitchProcedure::list0>("0"), Key<&SwitchProcedure::list1>("1")),
     nullptr, {"0", "1"}, ExecuteSwitch, H::kSwitch},
    {"MSGBOX", "MSGBOX_INFO",
     KeysOf<MsgBoxProcedure>(Key<&MsgBoxProcedure::FLAG>("FLAG"), Key<&MsgBoxProcedure::TYPE>("TYPE"), Key<&MsgBoxProcedure::TEXT>("TEXT"), Key<&MsgBoxProcedure::ISABORT>("ISABORT")),
     nullptr, {}, ExecuteMsgBox, H::kMsgBox},
    {"COPY", "COPY_INFO",
     KeysOf<CopyProcedure>(Key<&CopyProcedure::FROM>("FROM"), Key<&CopyProcedure::TO>("TO")),
     "FROM", {}, ExecuteCopy, H::kCopy},
    {"LAUNCH", "LAUNCH_INFO",
     KeysOf<LaunchProcedure>(Key<&LaunchProcedure::FILE>("FILE"), Key<&LaunchProcedure::PARAM>("PARAM"), Key<&LaunchProcedure::ISWAIT>("ISWAIT")),
     "FILE", {}, ExecuteLaunch, H::kLaunch},
    {"DELETE", "DELETE_INFO",
     KeysOf<DeleteProcedure>(Key<&DeleteProcedure::FILE>("FILE")),
     "FILE", {}, ExecuteDelete, H::kDelete},
    {"LINK", "SHORTCUT_INFO",
     KeysOf<LinkProcedure>(Key<&LinkProcedure::SRC>("SRC"), Key<&LinkProcedure::PARAM>("PARAM"), Key<&LinkProcedure::SHOWCMD>("SHOWCMD"), Key<&LinkProcedure::DST>("DST")),
     "SRC", {}, ExecuteLink, H::kLink},
    {"OSVER", "OSVER_INFO",
     KeysOf<OsVerProcedure>(),
     nullptr, {}, ExecuteOsVer, H::kNone},
    {"MAKEDIR", "MAKEDIR_INFO",
     KeysOf<MakeDirProcedure>(Key<&MakeDirProcedure::DIR>("DIR")),
     "DIR", {}, ExecuteMakeDir, H::kMakeDir},
    {"ATTR", "ATTR_INFO",
     KeysOf<AttrProcedure>(Key<&AttrProcedure::FILE>("FILE"), Key<&AttrProcedure::ARG>("ARG")),
     "FILE", {}, ExecuteAttr, H::kAttr},
    {"CRC", "CRC_INFO",
     KeysOf<CrcProcedure>(Key<&CrcProcedure::FILE>("FILE"), Key<&CrcProcedure::TYPE>("TYPE"), Key<&CrcProcedure::CRC>("CRC")),
     "FILE", {}, ExecuteCrc, H::kCrc},
    {"MOVE", "MOVE_INFO",
     KeysOf<MoveProcedure>(Key<&MoveProcedure::FROM>("FROM"), Key<&MoveProcedure::TO>("TO")),
     "FROM", {}, ExecuteMove, H::kMove},
    {"WAITAPP", "WAITAPP_INFO",
     KeysOf<WaitAppProcedure>(Key<&WaitAppProcedure::APP>("APP"), Key<&WaitAppProcedure::TICK>("TICK")),
     "APP", {}, ExecuteWaitApp, H::kWaitApp},
    {"APPEXIST", "APPEXIST_INFO",
     KeysOf<AppExistProcedure>(Key<&AppExistProcedure::APP>("APP")),
     "APP", {}, ExecuteAppExist, H::kNone},
    {"VERIFY", "VERIFY_INFO",
     KeysOf<VerifyProcedure>(Key<&VerifyProcedure::ARG1>("ARG1"), Key<&VerifyProcedure::ARG2>("ARG2")),
     nullptr, {}, ExecuteVerify, H::kNone},
};
// clang-format on

}  // namespace

CommandRows AllCommands() {
  return CommandRows{std::begin(kCommands), std::end(kCommands)};
}

const Command* FindCommand(const StrBuf& mode, const CodePage& cp) {
  for (const Command& command : kCommands)
    if (mode.Equals(command.mode, cp)) return &command;
  return nullptr;
}

bool IsKeyOf(const Command& row, const StrBuf& key, const CodePage& cp) {
  return key.Equals("MODE", cp) || FindKey(row, key.Text(), cp) != nullptr;
}

const RecordKey* FindKey(const Command& row, const char* key,
                         const CodePage& cp) {
  const StrBuf wanted(key);
  for (const RecordKey& candidate : row.keys)
    if (wanted.Equals(candidate.name, cp)) return &candidate;
  return nullptr;
}

std::unique_ptr<Procedure> LoadRecord(Runtime& rt, const Command& row,
                                      const StrBuf& name) {
  std::unique_ptr<Procedure> record = row.keys.make();
  if (record == nullptr) {
    ShowErrorReport(rt, kMsgOutOfMemory, row.objectName);
    return nullptr;
  }
  record->row = &row;
  if (!record->name.SetText(name.Text())) {
    ShowErrorReport(rt, kMsgOutOfMemory, row.objectName);
    return nullptr;
  }
  if (!GetSettingString(rt, name.Text(), "MODE", record->MODE, row.objectName))
    return nullptr;
  for (const RecordKey& key : row.keys)
    if (!key.read(rt, name.Text(), key.name, *record)) return nullptr;
  return record;
}
