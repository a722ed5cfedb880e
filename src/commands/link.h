// LINK: shell shortcut files.
#pragma once

#include <cstdint>

#include "run/procedure.h"

struct Command;

struct LinkProcedure : Procedure {
  StrBuf SRC;
  StrBuf PARAM;
  StrBuf SHOWCMD;
  StrBuf DST;
};

Procedure* LoadLink(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteLink(Runtime& rt, Procedure& record);
bool CreateShortcut(Runtime& rt, const StrBuf& target, const StrBuf& linkFile,
                    const StrBuf& arguments, int32_t showKind);
