// Placeholder: not built yet.
#include "commands/msgbox.h"

Procedure* LoadMsgBox(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteMsgBox(Runtime&, Procedure&) { return false; }
