// Placeholder: not built yet.
#include "commands/launch.h"

Procedure* LoadLaunch(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteLaunch(Runtime&, Procedure&) { return false; }
Procedure* LoadWaitApp(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteWaitApp(Runtime&, Procedure&) { return false; }
bool GetDirectoryPart(Runtime&, const StrBuf&, StrBuf&) { return false; }
bool StartProcess(Runtime&, const StrBuf&, const StrBuf&, bool) { return false; }
