// A console's Ctrl+C and Ctrl+Break note a stop request. The updater is a
// program without a console of its own; the handler matters only when it
// was started attached to one. A console that is closed ends its programs
// whatever a handler answers: then the next start recovers a journaled
// run.
#include <windows.h>

#include "platform/stop_request.h"

namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    RequestStop();
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void WatchStopRequests() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
