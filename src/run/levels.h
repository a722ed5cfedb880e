// The level stack of loaded procedure lists.
#pragma once

#include <cstdint>

#include "run/procedure.h"

ProcList GetLevel(Runtime& rt, int32_t index);
ProcList GetCurrentLevel(Runtime& rt);
bool PushLevel(Runtime& rt, ProcList list);
int32_t RemoveLevel(Runtime& rt, ProcList list);
int32_t FreeLevel(Runtime& rt, ProcList list);
void FreeAllLevels(Runtime& rt);
Procedure* FindProcedure(ProcList list, const StrBuf& name);
