// Starting programs, waiting for them, finding them by executable.
#include "platform/posix/posix_platform.h"

std::unique_ptr<ProcessHandle> PosixPlatform::StartProgram(const char*,
                                                           const char*) {
  return nullptr;
}
uint32_t PosixPlatform::FindProcessId(const char*) { return 0; }
std::unique_ptr<ProcessHandle> PosixPlatform::OpenForWait(uint32_t) {
  return nullptr;
}
