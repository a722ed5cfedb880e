// What the engine asks about the system and the process: the environment,
// the ANSI code page and its conversions, the program's own path, the
// current directory, the system's folders and installed applications.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "base/code_page.h"
#include "base/str_buf.h"

// What an application-path lookup answers: the program's full path, or
// its list of directories (separated by ";").
enum class AppPathValue { kExecutable, kPathList };

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  // The ANSI code page: the entry point reads it once and hands its rules
  // (a CodePage) to what reads text.
  virtual unsigned AnsiCodePage() const = 0;
  // Converts an ANSI text to UTF-8 (for the transcript and the console).
  virtual std::string AnsiToUtf8(const char* text) const = 0;
  // Converts a UTF-8 text to ANSI (for texts given in UTF-8 by tests).
  virtual std::string Utf8ToAnsi(const char* text) const = 0;
  // The clocks, in nanoseconds: the steady clock, for intervals (its origin
  // is any), and the wall clock, since 1970. Tests give clocks of their
  // own.
  virtual int64_t SteadyClock() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  virtual int64_t WallClock() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  // An environment variable; false when it is not set.
  virtual bool GetEnv(const char* name, std::string& value) const = 0;

  // The current directory of the process; false when it cannot be told.
  virtual bool CurrentDirectory(StrBuf& out) = 0;

  // Full path of the program's own file, cut to size - 1 bytes and always
  // terminated. Returns the length of the whole path (size or more when
  // it was cut).
  virtual uint32_t GetModulePath(char* buffer, uint32_t size) = 0;

  // Folders. Each fills out and returns true, or returns false.
  virtual bool WindowsDirectory(StrBuf& out) = 0;
  virtual bool SystemDirectory(StrBuf& out) = 0;
  virtual bool TempPath(StrBuf& out) = 0;  // with its trailing separator
  virtual bool SpecialFolder(int csidl, StrBuf& out) = 0;

  // The installed application whose program file is name (as given, for
  // example "tool.exe"): its full path or its path list into out. False
  // when the system knows no such application or no such value; out may
  // then hold anything. Windows reads the App Paths registry keys; POSIX
  // searches $PATH.
  virtual bool FindAppPath(const char* name, AppPathValue what,
                           StrBuf& out) = 0;

  virtual bool IsNt() = 0;

  virtual void ComInitialize() = 0;
  virtual void ComUninitialize() = 0;
};
