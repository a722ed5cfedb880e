// The condition commands EXIST, DATE, OSVER, APPEXIST and VERIFY.
#pragma once

#include <cstdint>

#include "run/procedure.h"

struct Command;

struct ExistProcedure : Procedure {
  StrBuf FILE;
};
struct DateProcedure : Procedure {
  StrBuf FILE;
  StrBuf DATE;
};
struct OsVerProcedure : Procedure {};
struct AppExistProcedure : Procedure {
  StrBuf APP;
};
struct VerifyProcedure : Procedure {
  StrBuf ARG1;
  StrBuf ARG2;
};

Procedure* LoadExist(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteExist(Runtime& rt, Procedure& record);
Procedure* LoadDate(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteDate(Runtime& rt, Procedure& record);
Procedure* LoadOsVer(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteOsVer(Runtime& rt, Procedure& record);
Procedure* LoadAppExist(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteAppExist(Runtime& rt, Procedure& record);
Procedure* LoadVerify(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteVerify(Runtime& rt, Procedure& record);

bool FileDateNotBefore(Runtime& rt, const char* path, const StrBuf& date);
uint32_t FindProcessId(Runtime& rt, const char* name);
