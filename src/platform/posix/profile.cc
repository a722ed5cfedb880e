// The INI reader with the Windows profile semantics.
#include <cstring>

#include "platform/posix/posix_platform.h"

uint32_t PosixPlatform::ReadProfileKey(const char*, const char*, const char*,
                                       const char* def, char* buffer,
                                       uint32_t size) {
  if (size == 0) return 0;
  std::strncpy(buffer, def, size - 1);
  buffer[size - 1] = 0;
  return static_cast<uint32_t>(std::strlen(buffer));
}

uint32_t PosixPlatform::ReadProfileSectionLines(const char*, const char*,
                                                char* buffer, uint32_t size) {
  if (size >= 2) buffer[0] = buffer[1] = 0;
  return 0;
}
