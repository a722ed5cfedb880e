// Placeholder: not built yet.
#include "commands/conditions.h"

Procedure* LoadExist(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteExist(Runtime&, Procedure&) { return false; }
Procedure* LoadDate(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteDate(Runtime&, Procedure&) { return false; }
Procedure* LoadOsVer(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteOsVer(Runtime&, Procedure&) { return false; }
Procedure* LoadAppExist(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteAppExist(Runtime&, Procedure&) { return false; }
Procedure* LoadVerify(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteVerify(Runtime&, Procedure&) { return false; }
bool FileDateNotBefore(Runtime&, const char*, const StrBuf&) { return false; }
bool IsNtPlatform(Runtime&) { return false; }
uint32_t FindProcessId(Runtime&, const char*) { return 0; }
