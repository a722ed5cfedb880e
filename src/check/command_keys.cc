#include "check/command_keys.h"

namespace {

const CommandKeys kCommandKeys[] = {
    {"EXIST", {"FILE"}, nullptr, "FILE"},
    {"DATE", {"FILE", "DATE"}, nullptr, "FILE"},
    {"SWITCH", {"PROC", "0", "1"}, nullptr, nullptr},
    {"MSGBOX", {"FLAG", "TYPE", "TEXT", "ISABORT"}, nullptr, nullptr},
    {"COPY", {"FROM", "TO"}, nullptr, "FROM"},
    {"LAUNCH", {"FILE", "PARAM", "ISWAIT"}, "ISWAIT", "FILE"},
    {"DELETE", {"FILE"}, nullptr, "FILE"},
    {"LINK", {"SRC", "PARAM", "SHOWCMD", "DST"}, nullptr, "SRC"},
    {"OSVER", {}, nullptr, nullptr},
    {"MAKEDIR", {"DIR"}, nullptr, "DIR"},
    {"ATTR", {"FILE", "ARG"}, nullptr, "FILE"},
    {"CRC", {"FILE", "TYPE", "CRC"}, nullptr, "FILE"},
    {"MOVE", {"FROM", "TO"}, nullptr, "FROM"},
    {"WAITAPP", {"APP", "TICK"}, nullptr, "APP"},
    {"APPEXIST", {"APP"}, nullptr, "APP"},
    {"VERIFY", {"ARG1", "ARG2"}, nullptr, nullptr},
};

}  // namespace

const CommandKeys* FindCommandKeys(const StrBuf& mode) {
  for (const CommandKeys& command : kCommandKeys)
    if (mode.Equals(command.mode)) return &command;
  return nullptr;
}

bool IsKeyOf(const CommandKeys& command, const StrBuf& key) {
  if (key.Equals("MODE")) return true;
  for (const char* const* name = command.keys; *name != nullptr; ++name)
    if (key.Equals(*name)) return true;
  return false;
}
