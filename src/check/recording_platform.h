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

#include "platform/file_system_forwarder.h"
#include "platform/platform.h"
#include "platform/system_info_forwarder.h"

class RecordingPlatform : public Platform {
 public:
  // A message box that was asked for.
  struct Box {
    std::string text;  // ANSI
    unsigned style = 0;
  };

  explicit RecordingPlatform(const Platform& reader);
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  // The boxes asked for, oldest first; cleared by the caller.
  std::vector<Box> boxes;
  // Every other action asked for (none is carried out), as "Operation: path"
  // texts. A look at a settings file asks for none.
  std::vector<std::string> refused;
  // The program path given to the engine; empty: the reader's.
  std::string modulePath;

 private:
  bool Refuse(const char* operation, const char* path);

  // Reads go through; changes to files and folders, and shortcuts, are
  // recorded and refused (false), so that a step that would change
  // something fails instead of changing it. The transcript of a run is not
  // a file the settings name: it is opened.
  class Files : public FileSystemForwarder {
   public:
    Files(FileSystem& reader, RecordingPlatform& owner)
        : FileSystemForwarder(reader), owner_(owner) {}
    bool SetFileAttrs(const char* path, uint32_t attributes) override;
    bool MakeDirectory(const char* path) override;
    bool RemoveDir(const char* path) override;
    bool CopyFileOver(const char* source, const char* destination) override;
    bool MoveFileTo(const char* source, const char* destination) override;
    bool MoveFileOver(const char* source, const char* destination) override;
    bool DeleteOneFile(const char* path) override;
    bool WriteShortcut(const char* target, const char* workDir,
                       const char* arguments, int showCommand,
                       const char* linkFile) override;
    // Whole trees are changed entry by entry (each change recorded); the
    // state folder of the rollback is neither made nor written.
    bool RemoveTreeAtOnce(const char*) override { return false; }
    bool MoveTreeAtOnce(const char*, const char*) override { return false; }
    bool SetExactMode(const char*, uint32_t) override { return false; }
    bool PrivateStateDirectory(std::string&, bool) override { return false; }
    std::unique_ptr<FileLock> TryLock(const char*,
                                      LockResult& result) override {
      result = LockResult::kFailed;
      return nullptr;
    }
    std::unique_ptr<AppendFile> CreatePrivateFile(const char*) override {
      return nullptr;
    }

   private:
    RecordingPlatform& owner_;
  };

  // Programs: found, never started, never waited for.
  class Programs : public Processes {
   public:
    Programs(Processes& reader, RecordingPlatform& owner)
        : reader_(reader), owner_(owner) {}
    std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                                const char* workDir) override;
    uint32_t FindProcessId(const char* name) override {
      return reader_.FindProcessId(name);
    }
    std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) override;

   private:
    Processes& reader_;
    RecordingPlatform& owner_;
  };

  // Boxes: recorded, and answered with the box's default button, as an
  // unattended run would be; the help is such a box, and there is no
  // progress display.
  class Boxes : public UserInterface {
   public:
    Boxes(UserInterface& reader, RecordingPlatform& owner)
        : reader_(reader), owner_(owner) {}
    int LoadResourceString(uint32_t id, char* buffer, int size) override {
      return reader_.LoadResourceString(id, buffer, size);
    }
    int ShowBox(const char* text, const char* caption, unsigned style) override;
    void Warn(const char* text) override { reader_.Warn(text); }

   private:
    UserInterface& reader_;
    RecordingPlatform& owner_;
  };

  // The program path: modulePath when set.
  class Info : public SystemInfoForwarder {
   public:
    Info(SystemInfo& reader, RecordingPlatform& owner)
        : SystemInfoForwarder(reader), owner_(owner) {}
    uint32_t GetModulePath(char* buffer, uint32_t size) override;

   private:
    RecordingPlatform& owner_;
  };

  Files files_;
  Programs programs_;
  Boxes boxes_;
  Info info_;
};
