// The settings file on Windows: its identity and its bytes. The settings
// layer reads and parses it (settings/profile_cache.h) and asks here at each
// key read whether it changed: one GetFileAttributesExA while it has not.
//
// The identity is the size, the creation time and the last write time.
// Windows stamps the last write time at every write through a handle, so a
// program that rewrites the file during the run gives it another identity;
// only a program that also sets the old time back on purpose (SetFileTime)
// and keeps the size could hide its change. The system keeps a change time
// too, but reaches it only through an open handle, which would cost several
// calls at every key read.
#include "platform/win32/win32_platform.h"

#include <new>
#include <string>

#include "platform/win32/win32_raii.h"

namespace {

// A larger file is not a settings file.
constexpr uint64_t kMaxProfileSize = 0xFFFFFFF0u;

// A FILETIME (100 ns since 1601) in nanoseconds since 1970, held within
// about 285 years of 1970.
int64_t Nanoseconds(const FILETIME& t) {
  const uint64_t ticks =
      (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  constexpr int64_t kTicksTo1970 = 116444736000000000;
  constexpr int64_t kLimit = 90000000000000000;  // ticks: 9e9 seconds
  int64_t since1970 = static_cast<int64_t>(ticks > 0x7FFFFFFFFFFFFFFFull
                                               ? 0x7FFFFFFFFFFFFFFFull
                                               : ticks) -
                      kTicksTo1970;
  if (since1970 > kLimit) since1970 = kLimit;
  if (since1970 < -kLimit) since1970 = -kLimit;
  return since1970 * 100;
}

bool LookAt(const std::string& path, ChangeStamp& id) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  id = ChangeStamp();
  id.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
            data.nFileSizeLow;
  id.index = static_cast<uint64_t>(Nanoseconds(data.ftCreationTime));
  id.modified = Nanoseconds(data.ftLastWriteTime);
  id.changed = id.modified;
  return true;
}

void ReadClocks(FileLook& look) {
  // File times are stamped from the system time at its own tick; compare
  // like with like.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  look.wallClock = Nanoseconds(now);
  LARGE_INTEGER counter;
  LARGE_INTEGER frequency;
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 &&
      QueryPerformanceCounter(&counter)) {
    const int64_t seconds = counter.QuadPart / frequency.QuadPart;
    const int64_t rest = counter.QuadPart % frequency.QuadPart;
    look.steadyClock = seconds * 1000000000 + rest * 1000000000 /
                                                  frequency.QuadPart;
  } else {
    look.steadyClock = static_cast<int64_t>(GetTickCount()) * 1000000;
  }
}

}  // namespace

FileRead Win32Platform::ReadFileIfChanged(const char* path,
                                          const ChangeStamp* unchanged,
                                          FileLook& look, std::string& bytes) {
  if (path == nullptr || path[0] == 0) return FileRead::kMissing;
  if (!LookAt(path, look.identity)) return FileRead::kMissing;
  if (unchanged != nullptr && look.identity == *unchanged) {
    return FileRead::kUnchanged;
  }

  ScopedHandle file(CreateFileA(path, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE |
                                    FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return FileRead::kMissing;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxProfileSize) {
    return FileRead::kMissing;
  }
  // Read after the identity and after the clocks: a change made while the
  // file is read either shows in a new identity or is in the bytes.
  ReadClocks(look);
  try {
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  } catch (const std::bad_alloc&) {
    return FileRead::kMissing;  // too large to hold: read as a missing file
  }
  size_t got = 0;
  while (got < bytes.size()) {
    const size_t left = bytes.size() - got;
    DWORD want = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD n = 0;
    if (!ReadFile(file.Get(), &bytes[got], want, &n, nullptr)) {
      return FileRead::kMissing;
    }
    if (n == 0) break;  // the file shrank while being read
    got += n;
  }
  bytes.resize(got);
  return FileRead::kRead;
}
