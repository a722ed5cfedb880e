// Placeholder: not built yet.
#include "commands/link.h"

Procedure* LoadLink(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteLink(Runtime&, Procedure&) { return false; }
bool CreateShortcut(Runtime&, const StrBuf&, const StrBuf&, const StrBuf&, int32_t) { return false; }
