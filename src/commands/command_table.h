// The command table: one row per command, the one place where a command is
// registered. Loading, running, the settings checker and the tests read the
// rows; nothing else lists the commands.
#pragma once

#include <cstddef>

#include "run/procedure.h"

struct Command;

// Reads the record of section name for the command of row; null after a
// message when the record cannot be loaded.
using Loader = Procedure* (*)(Runtime& rt, const Command& row,
                              const StrBuf& name);
using Executor = bool (*)(Runtime& rt, Procedure& record);

// The settings checker's own checks of a command's values, beyond reading
// its keys (see check/command_checks.cc); kNone: the keys only.
enum class CheckHook {
  kNone,
  kSwitch,
  kMsgBox,
  kCopy,
  kMove,
  kDelete,
  kAttr,
  kCrc,
  kLaunch,
  kWaitApp,
  kMakeDir,
  kLink,
};

// At most this many keys after MODE.
constexpr size_t kMaxCommandKeys = 4;

struct Command {
  const char* mode;        // the MODE word
  const char* objectName;  // object name of message 3
  // The keys the loader reads after MODE, in reading order; null after the
  // last one.
  const char* keys[kMaxCommandKeys + 1];
  // The one key read as an integer, or null.
  const char* integerKey;
  // The list key whose empty value stops the run with message 4, or null.
  const char* firstList;
  // Keys whose value is a list of procedures the command may run as a
  // further level; null after the last one.
  const char* procedureLists[3];
  Loader load;
  Executor execute;
  CheckHook check;
};

// Every row, in table order: the order in which MODE is compared.
struct CommandRows {
  const Command* first;
  const Command* last;
  const Command* begin() const { return first; }
  const Command* end() const { return last; }
};
CommandRows AllCommands();

// The row whose MODE word equals mode (ASCII case ignored), in table
// order, or null.
const Command* FindCommand(const StrBuf& mode);

// Whether key (ASCII case ignored) is MODE or one of the keys of row.
bool IsKeyOf(const Command& row, const StrBuf& key);
