// LAUNCH and WAITAPP.
#pragma once

#include <cstdint>

#include "run/procedure.h"

constexpr uint32_t kMsgLaunchFailed = 9;  // file, parameters

struct LaunchProcedure : Procedure {
  StrBuf FILE;
  StrBuf PARAM;
  // Keeps 0 when its value is not a decimal number: a program is then only
  // waited for until it is ready for input.
  int32_t ISWAIT = 0;
};
struct WaitAppProcedure : Procedure {
  StrBuf APP;
  StrBuf TICK;
};

bool ExecuteLaunch(Runtime& rt, Procedure& record);
bool ExecuteWaitApp(Runtime& rt, Procedure& record);

// The longest wait of a WAITAPP TICK item, in milliseconds (a little under
// 25 days): the range is -1 (no limit, also written 4294967295) and 0 to
// kLongestTick.
constexpr uint32_t kLongestTick = 0x7FFFFFFF;
// The wait of a TICK item: -1 and 4294967295 are kWaitInfinite; any other
// larger number waits kLongestTick, any other negative one and a text that
// is no number do not wait (0). A number never wraps. inRange is false for
// a number outside the range (a text that is no number is in range: it is
// reported as such).
uint32_t TickTimeout(const StrBuf& tick, bool* inRange = nullptr);

bool GetDirectoryPart(Runtime& rt, const StrBuf& path, StrBuf& directory);
bool StartProcess(Runtime& rt, const StrBuf& file, const StrBuf& param,
                  bool wait);
