// The settings file, read with the shared INI reader
// (platform/profile_reader.h): the file's encoding is decided from its
// bytes and its text converted to the ANSI code page, where the system's
// profile functions would read any file without a UTF-16 byte-order mark as
// ANSI. The file is read again at each request.
#include "platform/win32/win32_platform.h"

#include <memory>
#include <new>
#include <string>

#include "platform/profile_reader.h"
#include "platform/win32/win32_raii.h"

namespace {

// A larger file is not a settings file.
constexpr LONGLONG kMaxProfileSize = 0xFFFFFFF0;

// The contents of the file at path; false when it cannot be read.
bool ReadWholeFile(const char* path, std::string& bytes) {
  if (path == nullptr || path[0] == 0) return false;
  ScopedHandle file(CreateFileA(path, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE |
                                    FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxProfileSize) {
    return false;
  }
  try {
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  } catch (const std::bad_alloc&) {
    return false;  // too large to hold: read as a missing file
  }
  size_t got = 0;
  while (got < bytes.size()) {
    const size_t left = bytes.size() - got;
    DWORD want = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD n = 0;
    if (!ReadFile(file.Get(), &bytes[got], want, &n, nullptr)) return false;
    if (n == 0) break;  // the file shrank while being read
    got += n;
  }
  bytes.resize(got);
  return true;
}

}  // namespace

std::unique_ptr<ProfileReader> Win32Platform::LoadProfile(const char* path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return nullptr;
  try {
    return std::make_unique<ProfileReader>(
        bytes, [this](const std::string& utf8) {
          return Utf8ToAnsi(utf8.c_str());
        });
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

uint32_t Win32Platform::ReadProfileKey(const char* file, const char* section,
                                       const char* key, const char* def,
                                       char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  // A null section or key would list names with the system's functions;
  // the engine never asks for that.
  if (section == nullptr || key == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  std::unique_ptr<ProfileReader> profile = LoadProfile(file);
  if (!profile) return ProfileReader::ReadMissingKey(def, buffer, size);
  return profile->ReadKey(section, key, def, buffer, size);
}

uint32_t Win32Platform::ReadProfileSectionLines(const char* file,
                                                const char* section,
                                                char* buffer, uint32_t size) {
  if (buffer == nullptr || size < 2 || section == nullptr) {
    return ProfileReader::ReadMissingSection(buffer, size);
  }
  std::unique_ptr<ProfileReader> profile = LoadProfile(file);
  if (!profile) return ProfileReader::ReadMissingSection(buffer, size);
  return profile->ReadSectionLines(section, buffer, size);
}
