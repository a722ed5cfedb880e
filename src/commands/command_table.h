// The command table: one row per command, the one place where a command is
// registered. Loading, running, the settings checker and the tests read the
// rows; nothing else lists the commands.
#pragma once

#include <cstddef>
#include <memory>

#include "run/procedure.h"

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

// One key of a command together with the record member its value fills.
// Written only through Key<&Record::MEMBER>("KEY") (commands/load_record.h),
// so that a key without a member cannot be written.
struct RecordKey {
  const char* name;  // null after the last key
  bool integer;      // read as a number into an int32_t member
  // Reads the key of section into its member of record.
  bool (*read)(Runtime& rt, const char* section, const char* key,
               Procedure& record);
  // The member's text, or null for an integer member.
  const StrBuf* (*text)(const Procedure& record);
};

// The keys of a row, in reading order, and how its record is made (null
// when memory runs out). Written through KeysOf<Record>(...).
struct RecordKeys {
  RecordKey keys[kMaxCommandKeys + 1];
  std::unique_ptr<Procedure> (*make)();
  const RecordKey* begin() const { return keys; }
  const RecordKey* end() const {
    const RecordKey* key = keys;
    while (key->name != nullptr) ++key;
    return key;
  }
};

struct Command {
  const char* mode;        // the MODE word
  const char* objectName;  // object name of message 3
  // The keys read after MODE, each with the member it fills.
  RecordKeys keys;
  // The list key whose empty value stops the run with message 4 before the
  // executor runs, or null.
  const char* firstList;
  // Keys whose value is a list of procedures the command may run as a
  // further level; null after the last one.
  const char* procedureLists[3];
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
const Command* FindCommand(const StrBuf& mode, const CodePage& cp);

// Whether key (ASCII case ignored) is MODE or one of the keys of row.
bool IsKeyOf(const Command& row, const StrBuf& key, const CodePage& cp);

// The one loader: makes the row's record (message 3 with the row's object
// name when memory runs out), stores the name and the row, reads MODE and
// then each key of the row in order into its member. Null after a message
// when the record cannot be loaded (message 2 for the first missing key).
std::unique_ptr<Procedure> LoadRecord(Runtime& rt, const Command& row,
                                      const StrBuf& name);

// The key of row named key (ASCII case ignored), or null.
const RecordKey* FindKey(const Command& row, const char* key,
                         const CodePage& cp);
