// Shell shortcuts written as .LNK files.
#include "platform/posix/posix_platform.h"

bool PosixPlatform::WriteShortcut(const char*, const char*, const char*, int,
                                  const char*) {
  return false;
}
