// MSGBOX: a message to the user, whose answer may stop the run.
#pragma once

#include "run/procedure.h"

struct Command;

struct MsgBoxProcedure : Procedure {
  StrBuf FLAG;
  StrBuf TYPE;
  StrBuf TEXT;
  StrBuf ISABORT;
};

Procedure* LoadMsgBox(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteMsgBox(Runtime& rt, Procedure& record);
