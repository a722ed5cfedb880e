// Code page, environment, folders, the App Paths replacement, message box.
#include <cstdlib>

#include "platform/posix/posix_platform.h"

PosixPlatform::PosixPlatform() : codePage_(65001) {}

std::unique_ptr<Platform> CreateSystemPlatform() {
  return std::make_unique<PosixPlatform>();
}

std::string PosixPlatform::AnsiToUtf8(const char* text) const { return text; }
std::string PosixPlatform::Utf8ToAnsi(const char* text) const { return text; }

bool PosixPlatform::GetEnv(const char* name, std::string& value) const {
  const char* v = std::getenv(name);
  if (v == nullptr) return false;
  value = v;
  return true;
}

int PosixPlatform::ShowBox(const char*, const char*, unsigned) { return 0; }
uint32_t PosixPlatform::GetModulePath(char* buffer, uint32_t size) {
  if (size > 0) buffer[0] = 0;
  return 0;
}
bool PosixPlatform::WindowsDirectory(StrBuf&) { return false; }
bool PosixPlatform::SystemDirectory(StrBuf&) { return false; }
bool PosixPlatform::TempPath(StrBuf&) { return false; }
bool PosixPlatform::SpecialFolder(int, StrBuf&) { return false; }
bool PosixPlatform::RegOpen(uintptr_t, const char*, uint32_t, uintptr_t&) {
  return false;
}
bool PosixPlatform::RegQuery(uintptr_t, const char*, void*, uint32_t&) {
  return false;
}
void PosixPlatform::RegClose(uintptr_t) {}

int LoadResourceString(uint32_t, char* buffer, int size) {
  if (size > 0) buffer[0] = 0;
  return 0;
}
