#include "commands/command_table.h"

#include <iterator>

#include "commands/conditions.h"
#include "commands/crc.h"
#include "commands/file_commands.h"
#include "commands/launch.h"
#include "commands/link.h"
#include "commands/msgbox.h"
#include "commands/switch_command.h"

namespace {

using H = CheckHook;

// In the order in which MODE is compared. Columns: MODE word, object name,
// keys in reading order, integer key, first list, procedure lists, loader,
// executor, checker hook.
// clang-format off
const Command kCommands[] = {
    {"EXIST", "EXIST_INFO", {"FILE"}, nullptr, "FILE", {},
     LoadExist, ExecuteExist, H::kNone},
    {"DATE", "DATE_INFO", {"FILE", "DATE"}, nullptr, "FILE", {},
     LoadDate, ExecuteDate, H::kNone},
    {"SWITCH", "SWITCH_INFO", {"PROC", "0", "1"}, nullptr, nullptr, {"0", "1"},
     LoadSwitch, ExecuteSwitch, H::kSwitch},
    {"MSGBOX", "MSGBOX_INFO", {"FLAG", "TYPE", "TEXT", "ISABORT"}, nullptr,
     nullptr, {}, LoadMsgBox, ExecuteMsgBox, H::kMsgBox},
    {"COPY", "COPY_INFO", {"FROM", "TO"}, nullptr, "FROM", {},
     LoadCopy, ExecuteCopy, H::kCopy},
    {"LAUNCH", "LAUNCH_INFO", {"FILE", "PARAM", "ISWAIT"}, "ISWAIT", "FILE", {},
     LoadLaunch, ExecuteLaunch, H::kLaunch},
    {"DELETE", "DELETE_INFO", {"FILE"}, nullptr, "FILE", {},
     LoadDelete, ExecuteDelete, H::kDelete},
    {"LINK", "SHORTCUT_INFO", {"SRC", "PARAM", "SHOWCMD", "DST"}, nullptr,
     "SRC", {}, LoadLink, ExecuteLink, H::kLink},
    {"OSVER", "OSVER_INFO", {}, nullptr, nullptr, {},
     LoadOsVer, ExecuteOsVer, H::kNone},
    {"MAKEDIR", "MAKEDIR_INFO", {"DIR"}, nullptr, "DIR", {},
     LoadMakeDir, ExecuteMakeDir, H::kMakeDir},
    {"ATTR", "ATTR_INFO", {"FILE", "ARG"}, nullptr, "FILE", {},
     LoadAttr, ExecuteAttr, H::kAttr},
    {"CRC", "CRC_INFO", {"FILE", "TYPE", "CRC"}, nullptr, "FILE", {},
     LoadCrc, ExecuteCrc, H::kCrc},
    {"MOVE", "MOVE_INFO", {"FROM", "TO"}, nullptr, "FROM", {},
     LoadMove, ExecuteMove, H::kMove},
    {"WAITAPP", "WAITAPP_INFO", {"APP", "TICK"}, nullptr, "APP", {},
     LoadWaitApp, ExecuteWaitApp, H::kWaitApp},
    {"APPEXIST", "APPEXIST_INFO", {"APP"}, nullptr, "APP", {},
     LoadAppExist, ExecuteAppExist, H::kNone},
    {"VERIFY", "VERIFY_INFO", {"ARG1", "ARG2"}, nullptr, nullptr, {},
     LoadVerify, ExecuteVerify, H::kNone},
};
// clang-format on

}  // namespace

CommandRows AllCommands() {
  return CommandRows{std::begin(kCommands), std::end(kCommands)};
}

const Command* FindCommand(const StrBuf& mode) {
  for (const Command& command : kCommands)
    if (mode.Equals(command.mode)) return &command;
  return nullptr;
}

bool IsKeyOf(const Command& row, const StrBuf& key) {
  if (key.Equals("MODE")) return true;
  for (const char* const* name = row.keys; *name != nullptr; ++name)
    if (key.Equals(*name)) return true;
  return false;
}
