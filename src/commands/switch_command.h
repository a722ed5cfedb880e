// SWITCH: run one of two procedure lists by an earlier procedure's result.
#pragma once

#include "run/procedure.h"

struct Command;

struct SwitchProcedure : Procedure {
  StrBuf PROC;
  StrBuf list0;  // key "0"
  StrBuf list1;  // key "1"
};

Procedure* LoadSwitch(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteSwitch(Runtime& rt, Procedure& record);
