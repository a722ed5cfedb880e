// The settings file, read with the system's own profile functions.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

uint32_t Win32Platform::ReadProfileKey(const char* file, const char* section,
                                       const char* key, const char* def,
                                       char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  // A null section or key would list names instead of reading a value.
  if (section == nullptr || key == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  return GetPrivateProfileStringA(section, key, def, buffer, size, file);
}

uint32_t Win32Platform::ReadProfileSectionLines(const char* file,
                                                const char* section,
                                                char* buffer, uint32_t size) {
  if (buffer == nullptr || size < 2 || section == nullptr) {
    if (buffer != nullptr) {
      for (uint32_t i = 0; i < size && i < 2; ++i) buffer[i] = 0;
    }
    return 0;
  }
  return GetPrivateProfileSectionA(section, buffer, size, file);
}
