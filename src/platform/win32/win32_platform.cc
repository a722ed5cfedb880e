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

Win32Platform::Win32Platform() = default;

// Fixed for the life of the process.
unsigned Win32Platform::AnsiCodePage() const { return GetACP(); }

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

namespace {

// Writes bytes to file, all of them; false when a write failed.
bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!WriteFile(file, bytes.data() + done,
                   static_cast<DWORD>(bytes.size() - done), &n, nullptr) ||
        n == 0)
      return false;
    done += n;
  }
  return true;
}

// Writes an ANSI line to a console in UTF-16, which the console shows
// whatever its own code page; false when handle is no console.
bool WriteToConsole(HANDLE console, const std::string& line) {
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return false;
  const int wide = MultiByteToWideChar(
      CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
  if (wide <= 0) return false;
  std::vector<wchar_t> text(static_cast<size_t>(wide));
  if (MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()),
                          text.data(), wide) <= 0)
    return false;
  DWORD written = 0;
  return WriteConsoleW(console, text.data(), static_cast<DWORD>(wide), &written,
                       nullptr) != 0;
}

}  // namespace

void Win32Platform::Warn(const char* text) {
  const std::string line = std::string(text != nullptr ? text : "") + "\r\n";
  // The standard error the program was given (a redirection, a pipe of the
  // program that started it, or a console).
  const HANDLE given = GetStdHandle(STD_ERROR_HANDLE);
  if (given != nullptr && given != INVALID_HANDLE_VALUE &&
      GetFileType(given) != FILE_TYPE_UNKNOWN &&
      (WriteToConsole(given, line) || WriteAll(given, line)))
    return;
  // A program of the windows subsystem has no standard error of its own
  // when started from a console: it borrows the console of the program
  // that started it for the one line, and leaves it again.
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    ScopedHandle console(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    const bool shown = console.Valid() && WriteToConsole(console.Get(), line);
    console.Reset();
    // Leaving a console that was just borrowed fails only when none is
    // attached: nothing to undo then.
    static_cast<void>(FreeConsole());
    if (shown) return;
  }
  // No console at all (started from a window): the debugger's output,
  // which a debugger or a tool that watches it shows.
  OutputDebugStringA(line.c_str());
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
