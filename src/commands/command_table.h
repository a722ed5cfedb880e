// The sixteen commands: the one place where MODE words are registered.
#pragma once

#include "run/procedure.h"

using Loader = Procedure* (*)(Runtime& rt, const StrBuf& name);
using Executor = bool (*)(Runtime& rt, Procedure& record);

struct Command {
  const char* mode;        // the MODE word
  const char* objectName;  // object name of message 3
  Loader load;
  Executor execute;
};

// The command whose MODE word equals mode (ASCII case ignored), in table
// order, or null.
const Command* FindCommand(const StrBuf& mode);
