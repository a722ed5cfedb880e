// SWITCH: run one of two procedure lists by an earlier procedure's result.
#pragma once

#include <cstdint>

#include "run/procedure.h"

constexpr uint32_t kMsgNestingTooDeep = 16;  // SWITCH procedure

struct SwitchProcedure : Procedure {
  StrBuf PROC;
  StrBuf list0;  // key "0"
  StrBuf list1;  // key "1"
};

bool ExecuteSwitch(Runtime& rt, Procedure& record);
