// LAUNCH and WAITAPP.
#pragma once

#include <cstdint>

#include "run/procedure.h"

struct Command;

struct LaunchProcedure : Procedure {
  StrBuf FILE;
  StrBuf PARAM;
  int32_t ISWAIT = 0;
};
struct WaitAppProcedure : Procedure {
  StrBuf APP;
  StrBuf TICK;
};

Procedure* LoadLaunch(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteLaunch(Runtime& rt, Procedure& record);
Procedure* LoadWaitApp(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteWaitApp(Runtime& rt, Procedure& record);

bool GetDirectoryPart(Runtime& rt, const StrBuf& path, StrBuf& directory);
bool StartProcess(Runtime& rt, const StrBuf& file, const StrBuf& param,
                  bool wait);
