// A platform for looking at a settings file without acting on it: every
// read (settings file, message table, folders, installed applications,
// files' existence and contents, running processes, environment, current
// directory) goes to the platform given, and every action (message boxes,
// file and directory changes, shortcuts, starting programs, waiting for
// them) is recorded and not carried out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

class RecordingPlatform : public Platform {
 public:
  // A message box that was asked for.
  struct Box {
    std::string text;  // ANSI
    unsigned style = 0;
  };

  explicit RecordingPlatform(Platform& reader) : reader_(reader) {}

  // The boxes asked for, oldest first; cleared by the caller.
  std::vector<Box> boxes;
  // Every other action asked for (none is carried out), as "Operation: path"
  // texts. A look at a settings file asks for none.
  std::vector<std::string> refused;
  // The program path given to the engine; empty: the reader's.
  std::string modulePath;

  const char* PathSeparator() const override {
    return reader_.PathSeparator();
  }
  std::string AnsiToUtf8(const char* text) const override {
    return reader_.AnsiToUtf8(text);
  }
  std::string Utf8ToAnsi(const char* text) const override {
    return reader_.Utf8ToAnsi(text);
  }
  bool GetEnv(const char* name, std::string& value) const override {
    return reader_.GetEnv(name, value);
  }

  FileRead ReadFileIfChanged(const char* path, const ChangeStamp* unchanged,
                             FileLook& look, std::string& bytes) override {
    return reader_.ReadFileIfChanged(path, unchanged, look, bytes);
  }

  // Recorded; answered with the box's default button, as an unattended run
  // would be.
  int LoadResourceString(uint32_t id, char* buffer, int size) override {
    return reader_.LoadResourceString(id, buffer, size);
  }
  int ShowBox(const char* text, const char* caption, unsigned style) override;
  bool CurrentDirectory(StrBuf& out) override {
    return reader_.CurrentDirectory(out);
  }
  uint32_t GetModulePath(char* buffer, uint32_t size) override;

  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override {
    return reader_.StartSearchInside(directory, first);
  }
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    return reader_.StartSearch(pattern, first);
  }
  uint32_t GetFileAttrs(const char* path) override {
    return reader_.GetFileAttrs(path);
  }
  bool IsFileSystemRoot(const char* path, bool followLast) override {
    return reader_.IsFileSystemRoot(path, followLast);
  }
  bool IsSameFile(const char* first, const char* second) override {
    return reader_.IsSameFile(first, second);
  }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) override {
    return reader_.OpenExclusive(path);
  }
  // The transcript of a run, not a file the settings name.
  std::unique_ptr<AppendFile> OpenForAppend(const char* path) override {
    return reader_.OpenForAppend(path);
  }

  // Actions on the file system: recorded and refused (false), so that a
  // step that would change something fails instead of changing it.
  bool SetFileAttrs(const char* path, uint32_t attributes) override;
  bool MakeDirectory(const char* path) override;
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileTo(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;

  bool WindowsDirectory(StrBuf& out) override {
    return reader_.WindowsDirectory(out);
  }
  bool SystemDirectory(StrBuf& out) override {
    return reader_.SystemDirectory(out);
  }
  bool TempPath(StrBuf& out) override { return reader_.TempPath(out); }
  bool SpecialFolder(int csidl, StrBuf& out) override {
    return reader_.SpecialFolder(csidl, out);
  }

  bool FindAppPath(const char* name, AppPathValue what,
                   StrBuf& out) override {
    return reader_.FindAppPath(name, what, out);
  }

  bool IsNt() override { return reader_.IsNt(); }

  // Programs: never started, never waited for.
  std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                              const char* workDir) override;
  uint32_t FindProcessId(const char* name) override {
    return reader_.FindProcessId(name);
  }
  std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) override;

  bool WriteShortcut(const char* target, const char* workDir,
                     const char* arguments, int showCommand,
                     const char* linkFile) override;

  void ComInitialize() override { reader_.ComInitialize(); }
  void ComUninitialize() override { reader_.ComUninitialize(); }

 private:
  bool Refuse(const char* operation, const char* path);

  Platform& reader_;
};
