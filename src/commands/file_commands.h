// The file commands COPY, MOVE, DELETE, ATTR and MAKEDIR.
#pragma once

#include "run/procedure.h"

struct Command;

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

Procedure* LoadCopy(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteCopy(Runtime& rt, Procedure& record);
Procedure* LoadMove(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteMove(Runtime& rt, Procedure& record);
Procedure* LoadDelete(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteDelete(Runtime& rt, Procedure& record);
Procedure* LoadAttr(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteAttr(Runtime& rt, Procedure& record);
Procedure* LoadMakeDir(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteMakeDir(Runtime& rt, Procedure& record);
