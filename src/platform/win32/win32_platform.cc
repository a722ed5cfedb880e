// Code page, environment, message box, current directory, module path,
// folders, version, COM and the program's string table.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace {

// Converts text from one code page to another through UTF-16. A text that
// cannot be converted comes back as it was.
std::string Convert(const char* text, UINT from, UINT to) {
  if (text == nullptr || text[0] == 0) return std::string();
  int wide = MultiByteToWideChar(from, 0, text, -1, nullptr, 0);
  if (wide <= 0) return text;
  std::vector<wchar_t> buffer(static_cast<size_t>(wide));
  if (MultiByteToWideChar(from, 0, text, -1, buffer.data(), wide) <= 0) {
    return text;
  }
  int bytes = WideCharToMultiByte(to, 0, buffer.data(), -1, nullptr, 0,
                                  nullptr, nullptr);
  if (bytes <= 0) return text;
  std::string out(static_cast<size_t>(bytes), '\0');
  if (WideCharToMultiByte(to, 0, buffer.data(), -1, &out[0], bytes, nullptr,
                          nullptr) <= 0) {
    return text;
  }
  out.resize(static_cast<size_t>(bytes) - 1);  // the terminator
  return out;
}

// Takes a folder of one of the Get...DirectoryA functions: length is what
// the function answered for a buffer of capacity bytes.
bool TakeFolder(UINT length, UINT capacity, const char* buffer, StrBuf& out) {
  if (length == 0 || length >= capacity) return false;
  return out.SetText(buffer);
}

}  // namespace

// The text rules follow the system's ANSI code page, which is fixed for the
// life of the process.
Win32Platform::Win32Platform() { SetAnsiCodePage(GetACP()); }

std::unique_ptr<SystemPlatform> CreateSystemPlatform() {
  return std::make_unique<Win32Platform>();
}

std::string Win32Platform::AnsiToUtf8(const char* text) const {
  return Convert(text, CP_ACP, CP_UTF8);
}

std::string Win32Platform::Utf8ToAnsi(const char* text) const {
  return Convert(text, CP_UTF8, CP_ACP);
}

bool Win32Platform::GetEnv(const char* name, std::string& value) const {
  std::vector<char> buffer(256);
  for (;;) {
    // A variable that is set but empty also answers 0; only the error code
    // tells it from a missing one.
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA(name, buffer.data(),
                                      static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      value.clear();
      return true;
    }
    if (n < buffer.size()) {
      value.assign(buffer.data(), n);
      return true;
    }
    // Too small: n is the size needed with the terminator. The value may
    // grow between two calls, hence the loop.
    buffer.resize(static_cast<size_t>(n) + 1);
  }
}

int Win32Platform::ShowBox(const char* text, const char* caption,
                           unsigned style) {
  // 0 when the box cannot be shown; Wine without a display answers -1.
  int answer = MessageBoxA(nullptr, text, caption, style);
  return answer > 0 ? answer : 0;
}

bool Win32Platform::CurrentDirectory(StrBuf& out) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    // The length without the terminator, or the size needed with it when
    // the buffer is too small; the directory may change between two calls.
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()),
                                   buffer.data());
    if (n == 0 || n >= (1u << 20)) return false;
    if (n < buffer.size()) return out.SetText(buffer.data());
    buffer.resize(static_cast<size_t>(n) + 1);
  }
}

uint32_t Win32Platform::GetModulePath(char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = 0;
  DWORD n = GetModuleFileNameA(nullptr, buffer, size);
  // Older systems leave a cut path unterminated.
  if (n >= size) n = size - 1;
  buffer[n] = 0;
  return n;
}

bool Win32Platform::WindowsDirectory(StrBuf& out) {
  char buffer[MAX_PATH] = {};
  return TakeFolder(GetWindowsDirectoryA(buffer, MAX_PATH), MAX_PATH, buffer,
                    out);
}

bool Win32Platform::SystemDirectory(StrBuf& out) {
  char buffer[MAX_PATH] = {};
  return TakeFolder(GetSystemDirectoryA(buffer, MAX_PATH), MAX_PATH, buffer,
                    out);
}

bool Win32Platform::TempPath(StrBuf& out) {
  constexpr DWORD kTempCapacity = 256;
  char buffer[kTempCapacity] = {};
  DWORD n = GetTempPathA(kTempCapacity, buffer);
  // n counts without the terminator on success and with it when the buffer
  // is too small.
  if (n == 0 || n >= kTempCapacity) return false;
  return out.SetText(buffer);
}

bool Win32Platform::SpecialFolder(int csidl, StrBuf& out) {
  LPITEMIDLIST items = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &items) != S_OK) return false;
  char buffer[MAX_PATH] = {};
  BOOL found = SHGetPathFromIDListA(items, buffer);
  ComPtr<IMalloc> allocator;
  if (SHGetMalloc(allocator.Out()) == S_OK) allocator->Free(items);
  return found && out.SetText(buffer);
}

bool Win32Platform::IsNt() {
  OSVERSIONINFOA info;
  static_assert(sizeof(info) == 148, "OSVERSIONINFOA is 148 bytes");
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExA(&info);  // on failure the zeroed platform id answers
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void Win32Platform::ComInitialize() {
  // S_FALSE (already initialised on this thread) must be balanced too.
  if (SUCCEEDED(CoInitialize(nullptr))) ++comInitCount_;
}

void Win32Platform::ComUninitialize() {
  if (comInitCount_ == 0) return;
  --comInitCount_;
  CoUninitialize();  // returns nothing
}

int Win32Platform::LoadResourceString(uint32_t id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = 0;
  int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, size);
  if (n <= 0) {
    buffer[0] = 0;
    return 0;
  }
  if (n >= size) n = size - 1;
  buffer[n] = 0;
  return n;
}
