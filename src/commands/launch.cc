// LAUNCH starts programs one after the other, each in its own folder;
// WAITAPP waits for running programs to end.
#include "commands/launch.h"

#include <memory>

#include "base/code_page.h"
#include "commands/conditions.h"
#include "platform/platform.h"
#include "run/error_report.h"
#include "settings/settings_reader.h"

bool GetDirectoryPart(Runtime& rt, const StrBuf& path, StrBuf& directory) {
  // The last separator that is a character of its own: the second byte of
  // a double-byte character equal to "\\" (ソ, 表, 能, ...) is part of the
  // name. A separator at the very start gives no directory.
  const char separator = rt.Sep()[0];
  const char* text = path.Text();
  const int32_t length = path.Length();
  int32_t last = -1;
  for (int32_t i = 0; i < length; i += rt.codePage.CharLength(text + i))
    if (text[i] == separator && i > 0) last = i;
  if (last < 0) return false;
  directory.Assign(path.Extract(0, last - 1));
  return true;
}

bool StartProcess(Runtime& rt, const StrBuf& file, const StrBuf& param,
                  bool wait) {
  // A bare name would be looked up along the search path: never started.
  StrBuf workDir;
  if (!GetDirectoryPart(rt, file, workDir)) return false;
  // The program path unquoted, one space, the parameters (also when empty).
  StrBuf commandLine = file.Concat(" ").Concat(param);
  std::unique_ptr<ProcessHandle> process =
      rt.platform.processes().StartProgram(commandLine.Text(), workDir.Text());
  if (!process) return false;
  return wait ? process->WaitForExit(kWaitInfinite)
              : process->WaitUntilIdle(kWaitInfinite);
}

bool ExecuteLaunch(Runtime& rt, Procedure& record) {
  LaunchProcedure& proc = static_cast<LaunchProcedure&>(record);
  const int32_t count = proc.FILE.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count; ++i) {
    StrBuf file = ListItem(proc.FILE, i, rt.codePage);
    StrBuf param = ListItem(proc.PARAM, i, rt.codePage);
    if (!StartProcess(rt, file, param, proc.ISWAIT != 0))
      return ShowErrorReport(rt, kMsgLaunchFailed, file.Text(), param.Text());
  }
  proc.ResultFlag = 1;
  return true;
}

uint32_t TickTimeout(const StrBuf& tick, bool* inRange) {
  // Read as scanf's "%d" reads (blanks, a sign, digits), but saturated
  // instead of wrapped.
  const char* p = tick.Text();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    if (value <= kWaitInfinite) value = value * 10 + static_cast<uint32_t>(*p - '0');
  // 4294967295 is the system's own value for no limit, the same as -1.
  const bool infinite = negative ? value == 1 : value == kWaitInfinite;
  if (inRange != nullptr)
    *inRange = infinite || (negative ? value == 0 : value <= kLongestTick);
  if (infinite) return kWaitInfinite;
  if (negative) return 0;
  return value > kLongestTick ? kLongestTick : static_cast<uint32_t>(value);
}

bool ExecuteWaitApp(Runtime& rt, Procedure& record) {
  WaitAppProcedure& proc = static_cast<WaitAppProcedure&>(record);
  const int32_t count = proc.APP.FieldCount(",", rt.codePage);
  for (int32_t i = 0; i < count; ++i) {
    StrBuf app = ListItem(proc.APP, i, rt.codePage);
    StrBuf tick = ListItem(proc.TICK, i, rt.codePage);
    const uint32_t timeout = TickTimeout(tick);
    // Looked up afresh for every item: a program that ended meanwhile is
    // simply not found.
    const uint32_t pid = FindProcessId(rt, app.Text());
    if (pid == 0) continue;
    std::unique_ptr<ProcessHandle> process =
        rt.platform.processes().OpenForWait(pid);
    if (!process) continue;
    // The end of the program, the time-out and a failed wait are alike.
    process->WaitForExit(timeout);
  }
  proc.ResultFlag = 1;
  return true;
}
