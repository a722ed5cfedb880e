// The Win32 implementation of the platform: the ANSI Win32 functions. Its
// operations are spread over several files by concern: win32_platform.cc
// (code page, environment, message box, current directory, module path,
// folders, version, COM, the string table), win32_app_path.cc (the App
// Paths registry keys), win32_profile.cc (the settings file's
// bytes and identity),
// win32_files.cc (directory search, attributes, copies and moves, exclusive
// reads), win32_processes.cc (start, wait, lookup by executable),
// win32_shortcut.cc (the shell link), win32_append_file.cc (the
// transcript's file), win32_progress.cc (the progress window). <windows.h>
// is included by those files
// only (through win32_raii.h), never by this header.
#pragma once

#include "platform/platform.h"

#include <memory>

class Win32Platform : public SystemPlatform {
 public:
  Win32Platform();

  const char* PathSeparator() const override { return "\\"; }
  unsigned AnsiCodePage() const override;
  std::string AnsiToUtf8(const char* text) const override;
  std::string Utf8ToAnsi(const char* text) const override;
  bool GetEnv(const char* name, std::string& value) const override;

  FileRead ReadFileIfChanged(const char* path, const ChangeStamp* unchanged,
                             FileLook& look, std::string& bytes) override;

  int LoadResourceString(uint32_t id, char* buffer, int size) override;
  int ShowBox(const char* text, const char* caption, unsigned style) override;
  void Warn(const char* text) override;
  std::unique_ptr<ProgressView> OpenProgress(const char* caption) override;
  bool CurrentDirectory(StrBuf& out) override;
  uint32_t GetModulePath(char* buffer, uint32_t size) override;

  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override;
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override;
  uint32_t GetFileAttrs(const char* path) override;
  bool IsFileSystemRoot(const char* path, bool followLast) override;
  bool IsSameFile(const char* first, const char* second) override;
  bool FinalPath(const char* path, std::string& out) override;
  bool SetFileAttrs(const char* path, uint32_t attributes) override;
  bool MakeDirectory(const char* path) override;
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileTo(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;
  bool FullPath(const char* path, std::string& out) override;
  size_t LongestPath() const override;
  std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) override;
  std::unique_ptr<AppendFile> OpenForAppend(const char* path) override;
  // win32_state.cc
  bool StampOf(const char* path, FileStamp& out) override;
  bool SetExactMode(const char* path, uint32_t mode) override;
  bool IdentityPath(const char* path, std::string& out) override;
  bool PrivateStateDirectory(std::string& out, bool create) override;
  std::unique_ptr<FileLock> TryLock(const char* path,
                                    LockResult& result) override;
  std::unique_ptr<AppendFile> CreatePrivateFile(const char* path) override;

  bool WindowsDirectory(StrBuf& out) override;
  bool SystemDirectory(StrBuf& out) override;
  bool TempPath(StrBuf& out) override;
  bool SpecialFolder(int csidl, StrBuf& out) override;

  bool FindAppPath(const char* name, AppPathValue what, StrBuf& out) override;

  bool IsNt() override;

  std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                              const char* workDir) override;
  uint32_t FindProcessId(const char* name) override;
  std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) override;

  bool WriteShortcut(const char* target, const char* workDir,
                     const char* arguments, int showCommand,
                     const char* linkFile) override;

  void ComInitialize() override;
  void ComUninitialize() override;

 private:
  // Calls of ComInitialize that succeeded and are not yet balanced.
  int comInitCount_ = 0;
};
