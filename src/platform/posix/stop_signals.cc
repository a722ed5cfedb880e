// SIGTERM and SIGINT note a stop request; SIGHUP is ignored. No SA_RESTART:
// a wait for a started program or a prompt on the terminal is interrupted,
// sees the request and returns, so that the run stops at its next step.
// Started programs get the default handling back (see processes.cc).
#include <signal.h>

#include "platform/stop_request.h"

namespace {

extern "C" void OnStopSignal(int) { RequestStop(); }

}  // namespace

void WatchStopRequests() {
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGHUP, &ignore, nullptr);
  struct sigaction stop = {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
}
