// A test double of the platform: the real POSIX platform for everything on
// disk, with scripted answers where a real one cannot serve in tests
// (message boxes, installed applications, process lists, the NT check).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"

class FakePlatform : public PosixPlatform {
 public:
  // The code page is UTF-8, whatever the locale, until a test sets another
  // (SetCodePage).
  FakePlatform() { SetCodePage(kCodePageUtf8); }

  struct BoxCall {
    std::string text;
    std::string caption;
    unsigned style;
  };

  // Message boxes: each call is recorded; answers are taken in order, and
  // kIdOk / kIdYes by the box kind when none is left.
  std::vector<BoxCall> boxes;
  std::vector<int> boxAnswers;
  int ShowBox(const char* text, const char* caption, unsigned style) override;

  // Warnings: recorded in order, never printed.
  std::vector<std::string> warnings;
  void Warn(const char* text) override { warnings.push_back(text); }

  // The progress display: every call recorded in order, as "open CAPTION",
  // "show PROCEDURE | DETAIL | PERMILLE", "clear" and "close".
  std::vector<std::string> progress;
  std::unique_ptr<ProgressView> OpenProgress(const char* caption) override;

  // Installed applications by program file name (ASCII case ignored on
  // lookup); an empty value is a value the application does not have.
  struct AppPath {
    std::string executable;
    std::string pathList;
  };
  std::map<std::string, AppPath> appPaths;
  // Every name asked for, in order.
  std::vector<std::string> appPathQueries;
  bool FindAppPath(const char* name, AppPathValue what, StrBuf& out) override;

  // The program's own path; empty means the real one.
  std::string modulePath;
  uint32_t GetModulePath(char* buffer, uint32_t size) override;

  // The path separator the engine is told; "\\" lets path handling be
  // tested as on Windows (the files on disk still use "/").
  const char* separator = "/";
  const char* PathSeparator() const override { return separator; }

  // The clocks (ns): the real ones until a test sets fakeClock; then
  // steadyClock and wallClock are what the engine reads, and a test moves
  // them on.
  bool fakeClock = false;
  int64_t steadyClock = 0;
  int64_t wallClock = 0;
  int64_t SteadyClock() const override {
    return fakeClock ? steadyClock : PosixPlatform::SteadyClock();
  }
  int64_t WallClock() const override {
    return fakeClock ? wallClock : PosixPlatform::WallClock();
  }

  bool nt = true;
  bool IsNt() override { return nt; }

  // Processes: executable -> id; empty means the real lookup is used.
  std::map<std::string, uint32_t> processes;
  uint32_t FindProcessId(const char* name) override;

  // Changes to the file system: with refuseChanges set, every one is
  // recorded ("Operation path") and refused, so that a guard can be tested
  // against real paths (the root included) without touching them.
  bool refuseChanges = false;
  std::vector<std::string> changes;
  bool SetFileAttrs(const char* path, uint32_t attributes) override;
  bool MakeDirectory(const char* path) override;
  bool RemoveDir(const char* path) override;
  bool CopyFileOver(const char* source, const char* destination) override;
  bool MoveFileTo(const char* source, const char* destination) override;
  bool MoveFileOver(const char* source, const char* destination) override;
  bool DeleteOneFile(const char* path) override;

  // A limit on the length of paths in characters, as Windows has one (0:
  // none): LongestPath() says it, and every operation on the file system
  // given a longer path (a search: with "/*.*" after a directory) fails as
  // if nothing were there. With a limit, volumeRoot is the one path taken
  // for the root of a volume, so that nothing is ever made in a real root.
  size_t longestPath = 0;
  std::string volumeRoot;
  size_t LongestPath() const override { return longestPath; }
  bool IsFileSystemRoot(const char* path, bool followLast) override;
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override;
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override;
  uint32_t GetFileAttrs(const char* path) override;
  bool StampOf(const char* path, FileStamp& out) override;

  // Special folders by number; missing numbers fall back to the real ones
  // unless failFolders is set.
  std::map<int, std::string> folders;
  bool failFolders = false;
  bool SpecialFolder(int csidl, StrBuf& out) override;

 private:
  bool Refused(const char* operation, const char* path);
  bool TooLong(const std::string& path) const;
};
