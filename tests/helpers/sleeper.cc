// Test helper: sleeps for the number of milliseconds given as the first
// argument (default 0), then exits with code 0.
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <ctime>
#endif

int main(int argc, char** argv) {
  long ms = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (ms <= 0) return 0;
#ifdef _WIN32
  Sleep(static_cast<DWORD>(ms));
#else
  timespec left{static_cast<time_t>(ms / 1000), (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
#endif
  return 0;
}
