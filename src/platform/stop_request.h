// A request from outside to stop the run: on POSIX the signals SIGTERM and
// SIGINT, on Windows a console's Ctrl+C or Ctrl+Break. The run stops at its
// next step as a failure (the way a failing procedure stops it: the end
// event written, a journaled run undone). A terminal that goes away
// (SIGHUP) never ends a run: the run goes on without it.
#pragma once

// Installs the handlers of this system; called once by the entry point.
void WatchStopRequests();
// True once a stop was requested. Safe to call at any time.
bool StopRequested();
// Notes a request (the handlers call it; tests do as well).
void RequestStop();
// Forgets a request (tests only).
void ClearStopRequest();
