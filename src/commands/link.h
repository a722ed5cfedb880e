// LINK: shell shortcut files.
#pragma once

#include <cstdint>

#include "run/procedure.h"

constexpr uint32_t kMsgLinkFailed = 15;  // source, destination

struct LinkProcedure : Procedure {
  StrBuf SRC;
  StrBuf PARAM;
  StrBuf SHOWCMD;
  StrBuf DST;
};

bool ExecuteLink(Runtime& rt, Procedure& record);
bool CreateShortcut(Runtime& rt, const StrBuf& target, const StrBuf& linkFile,
                    const StrBuf& arguments, int32_t showKind);
