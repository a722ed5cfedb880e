// The level stack of loaded procedure lists.
#pragma once

#include <cstdint>
#include <memory>

#include "run/procedure.h"

ProcList GetLevel(Runtime& rt, int32_t index);
ProcList GetCurrentLevel(Runtime& rt);
// Puts level on top of the stack, which then owns it; false (and level still
// the caller's) for none or when memory runs out.
bool PushLevel(Runtime& rt, std::unique_ptr<ProcLevel>& level);
// Takes list off the stack (the topmost entry that is list) into removed;
// returns LevelCount afterwards, unchanged when list is not on the stack.
int32_t RemoveLevel(Runtime& rt, ProcList list,
                    std::unique_ptr<ProcLevel>& removed);
// Takes list off the stack and destroys it with its records; 0 for none,
// otherwise what RemoveLevel returns.
int32_t FreeLevel(Runtime& rt, ProcList list);
void FreeAllLevels(Runtime& rt);
Procedure* FindProcedure(ProcList list, const StrBuf& name, const CodePage& cp);
