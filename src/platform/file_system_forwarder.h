// A file system that passes every operation on to another one. What stands
// in front of a file system (rollback, files in use, the checker's
// recording, a test's injected faults) derives from it and overrides only
// what it changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"

class FileSystemForwarder : public FileSystem {
 public:
  explicit FileSystemForwarder(FileSystem& inner) : inner_(inner) {}
  FileSystemForwarder(const FileSystemForwarder&) = delete;
  FileSystemForwarder& operator=(const FileSystemForwarder&) = delete;

  const char* PathSeparator() const override { return inner_.PathSeparator(); }
  FileRead ReadFileIfChanged(const char* path, const ChangeStamp* unchanged,
                             FileLook& look, std::string& bytes) override {
    return inner_.ReadFileIfChanged(path, unchanged, look, bytes);
  }
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    return inner_.StartSearch(pattern, first);
  }
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override {
    return inner_.StartSearchInside(directory, first);
  }
  uint32_t GetFileAttrs(const char* path) override {
    return inner_.GetFileAttrs(path);
  }
  bool IsFileSystemRoot(const char* path, bool followLast) override {
    return inner_.IsFileSystemRoot(path, followLast);
  }
  bool IsSameFile(const char* first, const char* second) override {
    return inner_.IsSameFile(first, second);
  }
  bool SetFileAttrs(const char* path, uint32_t attributes) override {
    return inner_.SetFileAttrs(path, attributes);
  }
  bool MakeDirectory(const char* path) override {
    return inner_.MakeDirectory(path);
  }
  bool RemoveDir(const char* path) override { return inner_.RemoveDir(path); }
  bool CopyFileOver(const char* source, const char* destination) override {
    return inner_.CopyFileOver(source, destination);
  }
  bool MoveFileTo(const char* source, const char* destination) override {
    return inner_.MoveFileTo(source, destination);
  }
  bool MoveFileOver(const char* source, const char* destination) override {
    return inner_.MoveFileOver(source, destination);
  }
  bool DeleteOneFile(const char* path) override {
    return inner_.DeleteOneFile(path);
  }
  bool RemoveTreeAtOnce(const char* path) override {
    return inner_.RemoveTreeAtOnce(path);
  }
  bool MoveTreeAtOnce(const char* source, const char* destination) override {
    return inner_.MoveTreeAtOnce(source, destination);
  }
  bool FullPath(const char* path, std::string& out) override {
    return inner_.FullPath(path, out);
  }
  size_t LongestPath() const override { return inner_.LongestPath(); }
  std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) override {
    return inner_.OpenExclusive(path);
  }
  std::unique_ptr<AppendFile> OpenForAppend(const char* path) override {
    return inner_.OpenForAppend(path);
  }
  bool WriteShortcut(const char* target, const char* workDir,
                     const char* arguments, int showCommand,
                     const char* linkFile) override {
    return inner_.WriteShortcut(target, workDir, arguments, showCommand,
                                linkFile);
  }
  bool StampOf(const char* path, FileStamp& out) override {
    return inner_.StampOf(path, out);
  }
  bool SetExactMode(const char* path, uint32_t mode) override {
    return inner_.SetExactMode(path, mode);
  }
  bool IdentityPath(const char* path, std::string& out) override {
    return inner_.IdentityPath(path, out);
  }
  bool FinalPath(const char* path, std::string& out) override {
    return inner_.FinalPath(path, out);
  }
  bool PrivateStateDirectory(std::string& out, bool create) override {
    return inner_.PrivateStateDirectory(out, create);
  }
  std::unique_ptr<FileLock> TryLock(const char* path,
                                    LockResult& result) override {
    return inner_.TryLock(path, result);
  }
  std::unique_ptr<AppendFile> CreatePrivateFile(const char* path) override {
    return inner_.CreatePrivateFile(path);
  }

 protected:
  FileSystem& inner_;
};
