// The condition commands EXIST, DATE, OSVER, APPEXIST and VERIFY.
#pragma once

#include <cstdint>

#include "run/procedure.h"

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

bool ExecuteExist(Runtime& rt, Procedure& record);
bool ExecuteDate(Runtime& rt, Procedure& record);
bool ExecuteOsVer(Runtime& rt, Procedure& record);
bool ExecuteAppExist(Runtime& rt, Procedure& record);
bool ExecuteVerify(Runtime& rt, Procedure& record);

bool FileDateNotBefore(Runtime& rt, const char* path, const StrBuf& date);
uint32_t FindProcessId(Runtime& rt, const char* name);
