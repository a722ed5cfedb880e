#include "commands/command_table.h"

#include "commands/conditions.h"
#include "commands/crc.h"
#include "commands/file_commands.h"
#include "commands/launch.h"
#include "commands/link.h"
#include "commands/msgbox.h"
#include "commands/switch_command.h"

namespace {

// In the order in which both dispatchers compare MODE.
const Command kCommands[] = {
    {"EXIST", "EXIST_INFO", LoadExist, ExecuteExist},
    {"DATE", "DATE_INFO", LoadDate, ExecuteDate},
    {"SWITCH", "SWITCH_INFO", LoadSwitch, ExecuteSwitch},
    {"MSGBOX", "MSGBOX_INFO", LoadMsgBox, ExecuteMsgBox},
    {"COPY", "COPY_INFO", LoadCopy, ExecuteCopy},
    {"LAUNCH", "LAUNCH_INFO", LoadLaunch, ExecuteLaunch},
    {"DELETE", "DELETE_INFO", LoadDelete, ExecuteDelete},
    {"LINK", "SHORTCUT_INFO", LoadLink, ExecuteLink},
    {"OSVER", "OSVER_INFO", LoadOsVer, ExecuteOsVer},
    {"MAKEDIR", "MAKEDIR_INFO", LoadMakeDir, ExecuteMakeDir},
    {"ATTR", "ATTR_INFO", LoadAttr, ExecuteAttr},
    {"CRC", "CRC_INFO", LoadCrc, ExecuteCrc},
    {"MOVE", "MOVE_INFO", LoadMove, ExecuteMove},
    {"WAITAPP", "WAITAPP_INFO", LoadWaitApp, ExecuteWaitApp},
    {"APPEXIST", "APPEXIST_INFO", LoadAppExist, ExecuteAppExist},
    {"VERIFY", "VERIFY_INFO", LoadVerify, ExecuteVerify},
};

}  // namespace

const Command* FindCommand(const StrBuf& mode) {
  for (const Command& command : kCommands)
    if (mode.Equals(command.mode)) return &command;
  return nullptr;
}
