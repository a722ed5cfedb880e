// The file commands COPY, MOVE, DELETE, ATTR and MAKEDIR.
#pragma once

#include <cstdint>

#include "run/procedure.h"

// Their messages: the item (and for COPY and MOVE its destination).
constexpr uint32_t kMsgCopyFailed = 8;      // source, destination
constexpr uint32_t kMsgDeleteFailed = 10;   // path
constexpr uint32_t kMsgAttrFailed = 12;     // path, mask
constexpr uint32_t kMsgMakeDirFailed = 13;  // directory
constexpr uint32_t kMsgMoveFailed = 14;     // source, destination

struct CopyProcedure : Procedure {
  StrBuf FROM;
  StrBuf TO;
};
struct MoveProcedure : Procedure {
  StrBuf FROM;
  StrBuf TO;
};
struct DeleteProcedure : Procedure {
  StrBuf FILE;
};
struct AttrProcedure : Procedure {
  StrBuf FILE;
  StrBuf ARG;
};
struct MakeDirProcedure : Procedure {
  StrBuf DIR;
};

bool ExecuteCopy(Runtime& rt, Procedure& record);
bool ExecuteMove(Runtime& rt, Procedure& record);
bool ExecuteDelete(Runtime& rt, Procedure& record);
bool ExecuteAttr(Runtime& rt, Procedure& record);
bool ExecuteMakeDir(Runtime& rt, Procedure& record);
