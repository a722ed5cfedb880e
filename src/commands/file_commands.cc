// Placeholder: not built yet.
#include "commands/file_commands.h"

Procedure* LoadCopy(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteCopy(Runtime&, Procedure&) { return false; }
Procedure* LoadMove(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteMove(Runtime&, Procedure&) { return false; }
Procedure* LoadDelete(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteDelete(Runtime&, Procedure&) { return false; }
Procedure* LoadAttr(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteAttr(Runtime&, Procedure&) { return false; }
Procedure* LoadMakeDir(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteMakeDir(Runtime&, Procedure&) { return false; }
