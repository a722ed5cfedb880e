// Loading procedure lists and running them.
#pragma once

#include <cstdint>

#include "run/procedure.h"

// At most this many levels stand on the stack at once.
constexpr int32_t kMaxLevels = 64;

ProcList LoadProcedureList(Runtime& rt, const StrBuf& list, int32_t count);
bool ExecuteProcedureList(Runtime& rt, ProcList list);
