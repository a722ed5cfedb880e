#include "platform/stop_request.h"

#include <atomic>

namespace {

// The one flag a handler may set: lock-free, so that a signal handler can
// store it.
std::atomic<int> g_stopRequested{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler stores the flag");

}  // namespace

bool StopRequested() { return g_stopRequested.load() != 0; }

void RequestStop() { g_stopRequested.store(1); }

void ClearStopRequest() { g_stopRequested.store(0); }
