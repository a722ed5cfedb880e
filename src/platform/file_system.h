// The file system as the engine sees it: everything that reads or changes
// files and folders, the settings file's bytes, the identities and stamps
// of files, and the account's state folder with its locks. All paths are
// bytes in the ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// File attributes (the Win32 values).
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrSystem = 0x4;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;  // symbolic link or junction
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

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
  // After Next gave false: false when the listing broke off on an error
  // (the system could not read on), so what was handed out is not all the
  // directory holds.
  virtual bool Complete() const { return true; }
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

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The path separator of the file system: "\\" or "/".
  virtual const char* PathSeparator() const = 0;

  // The settings file at path: its identity, and its whole contents unless
  // the identity is still *unchanged (null: always read). Parsing it, and
  // deciding when to read it again, are the settings layer's
  // (settings/profile_cache.h).
  virtual FileRead ReadFileIfChanged(const char* path,
                                     const ChangeStamp* unchanged,
                                     FileLook& look, std::string& bytes) = 0;

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
  // Where the existing path leads, as the system finds it: every link on
  // the way followed (a symbolic link, a junction, a volume mounted in a
  // folder), "." and ".." resolved, so that no component of out is a link
  // and the parents of out are where the path lies. False when it cannot
  // be told.
  virtual bool FinalPath(const char* path, std::string& out) {
    (void)path;
    (void)out;
    return false;
  }
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
  // The most characters of the ANSI code page (a double-byte character
  // counts once) that a path given to this file system may have; 0 when
  // the engine need keep to none.
  virtual size_t LongestPath() const { return 0; }
  virtual std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) = 0;
  // Opens path for appending, creating a missing file, without ever
  // waiting: null for a named pipe that nobody reads, a directory, a block
  // device (POSIX), or anything else that cannot be opened for writing.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const char* path) = 0;

  // Writes a shell shortcut. showCommand 0 leaves the default.
  virtual bool WriteShortcut(const char* target, const char* workDir,
                             const char* arguments, int showCommand,
                             const char* linkFile) = 0;


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
