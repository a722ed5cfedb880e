// The POSIX implementation of the platform. Its operations are spread over
// several files by concern: system.cc (code page, environment, folders,
// application paths, message box, message table, current directory),
// profile.cc (the settings file's bytes and identity), dir_search.cc
// (directory searches and attributes), file_copy.cc (copies, written as
// write_beside.h says), file_ops.cc (the other operations on files and
// directories), file_looks.h (what one look at an entry tells),
// processes.cc (start, wait), process_lookup.cc (lookup by executable),
// shortcut.cc (the .LNK writer), append_file.cc (the transcript's file),
// state.cc (stamps, locks and the private state folder).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/posix/file_looks.h"

class PosixPlatform : public SystemPlatform {
 public:
  PosixPlatform();

  const char* PathSeparator() const override { return "/"; }
  std::string AnsiToUtf8(const char* text) const override;
  std::string Utf8ToAnsi(const char* text) const override;
  bool GetEnv(const char* name, std::string& value) const override;

  FileRead ReadFileIfChanged(const char* path, const ChangeStamp* unchanged,
                             FileLook& look, std::string& bytes) override;

  int LoadResourceString(uint32_t id, char* buffer, int size) override;
  int ShowBox(const char* text, const char* caption, unsigned style) override;
  void Warn(const char* text) override;
  int ShowHelp(const char* text, const char* caption,
               bool boxAllowed) override;
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
  std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) override;
  std::unique_ptr<AppendFile> OpenForAppend(const char* path) override;

  bool WindowsDirectory(StrBuf& out) override;
  bool SystemDirectory(StrBuf& out) override;
  bool TempPath(StrBuf& out) override;
  bool SpecialFolder(int csidl, StrBuf& out) override;

  bool FindAppPath(const char* name, AppPathValue what, StrBuf& out) override;

  bool IsNt() override { return true; }

  std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                              const char* workDir) override;
  uint32_t FindProcessId(const char* name) override;
  std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) override;

  bool WriteShortcut(const char* target, const char* workDir,
                     const char* arguments, int showCommand,
                     const char* linkFile) override;

  void ComInitialize() override {}
  void ComUninitialize() override {}

  // state.cc
  bool StampOf(const char* path, FileStamp& out) override;
  bool SetExactMode(const char* path, uint32_t mode) override;
  bool IdentityPath(const char* path, std::string& out) override;
  bool PrivateStateDirectory(std::string& out, bool create) override;
  std::unique_ptr<FileLock> TryLock(const char* path,
                                    LockResult& result) override;
  std::unique_ptr<AppendFile> CreatePrivateFile(const char* path) override;

  // The ANSI code page: the one of the locale's codeset.
  unsigned AnsiCodePage() const override { return codePage_.Id(); }
  // For tests: the ANSI code page (65001 or 932) in place of the one the
  // locale chose, for this platform only.
  void SetCodePage(unsigned codePage);

  // File names, environment values and the terminal use the encoding of the
  // system's locale; these convert between it and the ANSI code page.
  std::string AnsiToLocal(const char* text) const;
  std::string LocalToAnsi(const char* text) const;

 private:
  unsigned localCodePage_;  // the code page of the locale's codeset
  FoundEntry found_;        // the look of the last entry a search handed out
  CodePage codePage_;       // the ANSI code page and its rules
};
