// The keys each command reads from its section, after MODE, in the order
// its loader reads them.
#pragma once

#include "base/str_buf.h"

struct CommandKeys {
  const char* mode;
  // Null after the last one.
  const char* keys[5];
  // The one key read as an integer, or null.
  const char* integerKey;
  // The list key whose empty value stops the run with message 4, or null.
  const char* firstList;
};

// The keys of the command whose MODE word equals mode (ASCII case
// ignored), or null.
const CommandKeys* FindCommandKeys(const StrBuf& mode);
// Whether key (ASCII case ignored) is MODE or one of the keys of command.
bool IsKeyOf(const CommandKeys& command, const StrBuf& key);
