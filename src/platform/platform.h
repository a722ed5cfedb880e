// The one interface between the engine and the operating system. Each
// operation is one small need of the engine; win32/ answers it with the ANSI
// Win32 functions, posix/ with their POSIX equivalents. All texts are bytes
// in the ANSI code page (AnsiCodePage()).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/code_page.h"
#include "base/str_buf.h"

// Message-box styles and answers (the Win32 values).
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconWarning = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbDefButton2 = 0x100;
constexpr unsigned kMbTypeMask = 0xF;
constexpr unsigned kMbIconMask = 0xF0;
constexpr unsigned kMbDefMask = 0xF00;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// File attributes (the Win32 values).
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrSystem = 0x4;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;  // symbolic link or junction
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

constexpr uint32_t kWaitInfinite = 0xFFFFFFFF;

// What an application-path lookup answers: the program's full path, or
// its list of directories (separated by ";").
enum class AppPathValue { kExecutable, kPathList };

// One entry of a directory search.
struct DirEntry {
  std::string name;  // file name only, in the ANSI code page
  uint32_t attributes = 0;
};

// An open directory search; closed by the destructor.
class DirSearch {
 public:
  virtual ~DirSearch() = default;
  // The next entry; false when there is none.
  virtual bool Next(DirEntry& entry) = 0;
};

// What tells one state of a file from another: any change to the file gives
// it another identity, provided the change falls into a later tick of the
// clock that stamps `changed` than the look that took it (see
// settings/profile_cache.h). Times are nanoseconds since 1970, held within
// about 285 years of it.
struct ChangeStamp {
  uint64_t volume = 0;  // device or volume
  // The inode; on Windows, whose file number needs an open handle, the
  // creation time.
  uint64_t index = 0;
  uint64_t size = 0;
  int64_t modified = 0;  // last write
  // Stamped by the system at every change of the file, whatever the file's
  // dates say (the POSIX change time); where the system keeps none, the
  // last write time.
  int64_t changed = 0;

  bool operator==(const ChangeStamp& o) const {
    return volume == o.volume && index == o.index && size == o.size &&
           modified == o.modified && changed == o.changed;
  }
  bool operator!=(const ChangeStamp& o) const { return !(*this == o); }
};

// A look at a file: its identity, and two clocks read after the identity
// was taken and before the bytes were read, in nanoseconds.
struct FileLook {
  ChangeStamp identity;
  int64_t wallClock = 0;    // the clock that stamps files, coarse as it is
  int64_t steadyClock = 0;  // a clock that never goes back
};

// What ReadFileIfChanged found.
enum class FileRead {
  kMissing,    // no regular file there, unreadable, or too large to hold
  kUnchanged,  // the identity asked about: nothing was read
  kRead,       // identity, clocks and bytes taken
};

// A file opened for reading with no sharing; closed by the destructor.
class ExclusiveFile {
 public:
  virtual ~ExclusiveFile() = default;
  virtual uint64_t Size() = 0;
  // Reads up to size bytes; got receives the number read (0 at the end).
  virtual bool Read(void* buffer, uint32_t size, uint32_t& got) = 0;
  // Last-write date in local time.
  virtual bool LastWriteLocalDate(uint16_t& year, uint16_t& month,
                                  uint16_t& day) = 0;
};

// A file opened for appending lines (the transcript); closed by the
// destructor.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Appends text and a line end ("\n") at the end of the file, waiting
  // while a pipe's reader is slow. False when not all of it was written.
  virtual bool WriteLine(const std::string& text) = 0;
  // Forces what was written to the disk. False when that failed.
  virtual bool Flush() { return true; }
};

// What tells one file from another, and what its contents were when seen:
// the rollback journal keeps it to show that what it undoes is what the run
// left there.
struct FileStamp {
  uint64_t volume = 0;  // the device, or the volume's serial number
  uint64_t index = 0;   // the inode, or the file index
  uint64_t size = 0;
  uint64_t time = 0;    // the last write, in the system's finest unit
  uint32_t mode = 0;    // POSIX: the permission bits; Windows: attributes
  bool directory = false;
  bool link = false;
};

// A lock on a file, held by this process until it is destroyed (or the
// process ends, however it ends).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

enum class LockResult { kTaken, kHeld, kFailed };

// A process handle; closed by the destructor.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Waits until the process ends or timeoutMs passes (kWaitInfinite: no
  // limit). False only when the wait itself failed.
  virtual bool WaitForExit(uint32_t timeoutMs) = 0;
  // Waits until the started program is ready for input. False when the wait
  // failed (on Windows, for example, a program without a message queue).
  virtual bool WaitUntilIdle(uint32_t timeoutMs) = 0;
};

// A display of how far the run is, opened for one run and removed by its
// destructor: on a terminal one line redrawn in place, on Windows a small
// window with a bar, run by a thread of its own. The engine calls it from
// its one thread, a few times a second at most.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // The running procedure (ANSI), a line of detail (ASCII: the step, the
  // files or bytes done) and the bar, in thousandths.
  virtual void Show(const char* procedure, const char* detail,
                    uint32_t permille) = 0;
  // Takes away what is drawn until the next Show: text follows on the same
  // output (a prompt).
  virtual void Clear() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The path separator of the file system: "\\" or "/".
  virtual const char* PathSeparator() const = 0;
  // The ANSI code page. The platform of the process chooses it when it is
  // created and gives it to the text rules of base/code_page.h, which hold
  // it; this reads it back from there, so the two never disagree.
  unsigned AnsiCodePage() const { return ::AnsiCodePage(); }
  // Converts an ANSI text to UTF-8 (for the transcript and the console).
  virtual std::string AnsiToUtf8(const char* text) const = 0;
  // Converts a UTF-8 text to ANSI (for texts given in UTF-8 by tests).
  virtual std::string Utf8ToAnsi(const char* text) const = 0;
  // An environment variable; false when it is not set.
  virtual bool GetEnv(const char* name, std::string& value) const = 0;

  // The settings file at path: its identity, and its whole contents unless
  // the identity is still *unchanged (null: always read). Parsing it, and
  // deciding when to read it again, are the settings layer's
  // (settings/profile_cache.h).
  virtual FileRead ReadFileIfChanged(const char* path,
                                     const ChangeStamp* unchanged,
                                     FileLook& look, std::string& bytes) = 0;

  // Loads message id of the program's string table into buffer (at most
  // size - 1 bytes, cut between characters, always terminated) in the ANSI
  // code page; returns the number of bytes, 0 when the id is unknown.
  virtual int LoadResourceString(uint32_t id, char* buffer, int size) = 0;

  // A modal message box; returns kIdOk, kIdYes, kIdNo, kIdCancel, or 0 when
  // it could not be shown.
  virtual int ShowBox(const char* text, const char* caption,
                      unsigned style) = 0;

  // Shows the program's help text (ANSI) titled caption: a box with the
  // information icon and OK where the system has message boxes, and only
  // when boxAllowed; printed to standard output where it has none (POSIX),
  // also when not boxAllowed, since that is no window. Returns kIdOk, or 0
  // when a box could not be shown.
  virtual int ShowHelp(const char* text, const char* caption,
                       bool boxAllowed) {
    return boxAllowed ? ShowBox(text, caption, kMbIconInformation) : kIdOk;
  }

  // The progress display of this system, titled caption; null where there
  // is none to show (the POSIX build without a terminal on stderr).
  virtual std::unique_ptr<ProgressView> OpenProgress(const char* caption) {
    (void)caption;
    return nullptr;
  }

  // The current directory of the process; false when it cannot be told.
  virtual bool CurrentDirectory(StrBuf& out) = 0;

  // Full path of the program's own file, cut to size - 1 bytes and always
  // terminated. Returns the length of the whole path (size or more when
  // it was cut).
  virtual uint32_t GetModulePath(char* buffer, uint32_t size) = 0;

  // Directory search for a path or a pattern with "*" and "?". Returns null
  // when nothing matches; otherwise first holds the first entry.
  virtual std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                                 DirEntry& first) = 0;
  // Searches every entry of a directory (as directory + separator + "*.*")
  // without going through a link: when directory is, or has become, a link,
  // nothing is found. Used by walks that descend into a tree.
  virtual std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                                       DirEntry& first) = 0;
  // The attributes of path; a link at its end is not followed (it reports
  // kAttrReparsePoint). kInvalidAttributes when nothing is there.
  virtual uint32_t GetFileAttrs(const char* path) = 0;
  // True when the directory that path leads to, with "." and "..", repeated
  // separators and every link on the way resolved as the system resolves
  // them, is the root of a file system, a drive or a network share. With
  // followLast false, a path whose last component is a link names the link
  // itself, which is no root.
  virtual bool IsFileSystemRoot(const char* path, bool followLast) = 0;
  // True when both paths exist and lead, links followed, to the same file
  // (hard links included).
  virtual bool IsSameFile(const char* first, const char* second) = 0;
  virtual bool SetFileAttrs(const char* path, uint32_t attributes) = 0;
  virtual bool MakeDirectory(const char* path) = 0;
  // Removes an empty directory, or a link to a directory (the link itself).
  virtual bool RemoveDir(const char* path) = 0;
  // Copies contents (and on POSIX permission bits and modification time),
  // replacing an existing destination only when the copy is complete: at
  // every instant the destination's name holds the whole old file or the
  // whole new one. A link at the destination is replaced, never written
  // through. Fails when both name the same file.
  virtual bool CopyFileOver(const char* source, const char* destination) = 0;
  // Moves a file (or a link) to a destination that does not exist.
  virtual bool MoveFileTo(const char* source, const char* destination) = 0;
  // Moves a file (or a link) to destination, replacing a file or a link
  // there so that, at every instant, the destination's name holds either the
  // whole old file or the whole new one (across file systems: a copy beside
  // the destination, renamed over it, then the source deleted). Fails, with
  // nothing changed, when the destination is a directory or read-only, or
  // when both name the same file.
  virtual bool MoveFileOver(const char* source, const char* destination) = 0;
  virtual bool DeleteOneFile(const char* path) = 0;
  // Removes a whole directory tree in one step where this platform can (the
  // one that journals a run's changes sets it aside by one rename). False
  // when it did nothing: the caller then removes the tree entry by entry.
  virtual bool RemoveTreeAtOnce(const char* path) {
    (void)path;
    return false;
  }
  // Moves a whole directory tree to a destination that does not exist in
  // one step where this platform can (the one that journals a run's
  // changes renames it, on one volume). False when it did nothing: the
  // caller then moves the tree entry by entry.
  virtual bool MoveTreeAtOnce(const char* source, const char* destination) {
    (void)source;
    (void)destination;
    return false;
  }
  // The full path of path, relative to the working directory when it is
  // not absolute. False when it cannot be told.
  virtual bool FullPath(const char* path, std::string& out) {
    out = path;
    return true;
  }
  virtual std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) = 0;
  // Opens path for appending, creating a missing file, without ever
  // waiting: null for a named pipe that nobody reads, a directory, a block
  // device (POSIX), or anything else that cannot be opened for writing.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const char* path) = 0;

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

  // Starts commandLine in workDir without inherited handles.
  virtual std::unique_ptr<ProcessHandle> StartProgram(const char* commandLine,
                                                      const char* workDir) = 0;
  // The id of the first other running process whose executable matches
  // name (case-insensitive), or 0.
  virtual uint32_t FindProcessId(const char* name) = 0;
  // Opens a process for waiting (SYNCHRONIZE | STANDARD_RIGHTS_REQUIRED).
  virtual std::unique_ptr<ProcessHandle> OpenForWait(uint32_t processId) = 0;

  // Writes a shell shortcut. showCommand 0 leaves the default.
  virtual bool WriteShortcut(const char* target, const char* workDir,
                             const char* arguments, int showCommand,
                             const char* linkFile) = 0;

  virtual void ComInitialize() = 0;
  virtual void ComUninitialize() = 0;

  // State kept between runs (the rollback journal).
  // The stamp of path, a link at its end not followed; false when nothing
  // is there.
  virtual bool StampOf(const char* path, FileStamp& out) {
    (void)path;
    (void)out;
    return false;
  }
  // Gives path exactly the mode of a stamp taken before (POSIX: all
  // permission bits; Windows: all attributes). Never through a link.
  virtual bool SetExactMode(const char* path, uint32_t mode) {
    (void)path;
    (void)mode;
    return false;
  }
  // The name that identifies the existing file path however it is spelled:
  // links, "." and ".." resolved; on Windows long names, one case.
  virtual bool IdentityPath(const char* path, std::string& out) {
    (void)path;
    (void)out;
    return false;
  }
  // A folder that only this account (and the administrators) can write
  // to, made when missing if create is set; false when there is none that
  // can be trusted (out then names the folder that was tried, if any).
  virtual bool PrivateStateDirectory(std::string& out, bool create) {
    (void)out;
    (void)create;
    return false;
  }
  // Takes a lock on path (made when missing) without waiting.
  virtual std::unique_ptr<FileLock> TryLock(const char* path,
                                            LockResult& result) {
    (void)path;
    result = LockResult::kFailed;
    return nullptr;
  }
  // Makes a new file that only this account can read or write, whatever
  // the process's defaults; null when path exists or cannot be made.
  virtual std::unique_ptr<AppendFile> CreatePrivateFile(const char* path) {
    (void)path;
    return nullptr;
  }
};

// The platform of this build (win32 or posix).
std::unique_ptr<Platform> CreateSystemPlatform();
