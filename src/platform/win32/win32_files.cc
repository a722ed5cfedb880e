// Directory search, attributes, directories, copies, moves, deletions and
// exclusive reads.
#include "platform/win32/win32_platform.h"

#include "base/path_parts.h"
#include "platform/replace_rules.h"
#include "platform/win32/win32_raii.h"

#include <vector>

namespace {

void TakeEntry(const WIN32_FIND_DATAA& data, DirEntry& entry) {
  // cFileName is always terminated within its MAX_PATH bytes; bound the copy
  // all the same.
  size_t n = 0;
  while (n < sizeof(data.cFileName) && data.cFileName[n] != 0) ++n;
  entry.name.assign(data.cFileName, n);
  entry.attributes = data.dwFileAttributes;
}

class Win32DirSearch : public DirSearch {
 public:
  explicit Win32DirSearch(HANDLE search) : search_(search) {}

  bool Next(DirEntry& entry) override {
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(search_.Get(), &data)) {
      complete_ = GetLastError() == ERROR_NO_MORE_FILES;
      return false;
    }
    TakeEntry(data, entry);
    return true;
  }
  bool Complete() const override { return complete_; }

 private:
  ScopedFind search_;
  bool complete_ = true;
};

class Win32ExclusiveFile : public ExclusiveFile {
 public:
  explicit Win32ExclusiveFile(HANDLE file) : file_(file) {}

  uint64_t Size() override {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(file_.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return (static_cast<uint64_t>(high) << 32) | low;
  }

  bool Read(void* buffer, uint32_t size, uint32_t& got) override {
    DWORD n = 0;
    BOOL ok = ReadFile(file_.Get(), buffer, size, &n, nullptr);
    got = n;
    return ok != FALSE;
  }

  bool LastWriteLocalDate(uint16_t& year, uint16_t& month,
                          uint16_t& day) override {
    FILETIME written;
    FILETIME local;
    SYSTEMTIME time;
    if (!GetFileTime(file_.Get(), nullptr, nullptr, &written)) return false;
    if (!FileTimeToLocalFileTime(&written, &local)) return false;
    if (!FileTimeToSystemTime(&local, &time)) return false;
    year = time.wYear;
    month = time.wMonth;
    day = time.wDay;
    return true;
  }

 private:
  ScopedHandle file_;
};

// Volume serial number and file index of what path leads to, links
// followed; false when it cannot be opened.
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  ScopedHandle file(CreateFileA(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.Valid() && GetFileInformationByHandle(file.Get(), &info);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(),
                        static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool StartsWithNoCase(const std::string& text, const char* head) {
  size_t n = 0;
  while (head[n] != 0) ++n;
  return text.size() >= n && EqualsNoCase(text.substr(0, n), head);
}

// The path with a "\\?\" or "\\.\" prefix taken off ("\\?\UNC\" becomes
// "\\").
std::string WithoutNamespacePrefix(const std::string& path) {
  if (StartsWithNoCase(path, "\\\\?\\UNC\\"))
    return "\\\\" + path.substr(8);
  if (StartsWithNoCase(path, "\\\\?\\") || StartsWithNoCase(path, "\\\\.\\"))
    return path.substr(4);
  return path;
}

// Where path leads with every link, junction and mounted folder on the way
// followed: the final path of the opened file. Empty where the system
// cannot tell it (before Windows Vista, or a path it cannot open).
std::string FinalPathOf(const char* path) {
  using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto finalPath = kernel != nullptr
                       ? ProcAddress<FinalPathFn>(kernel,
                                                  "GetFinalPathNameByHandleA")
                       : nullptr;
  if (finalPath == nullptr) return std::string();
  ScopedHandle file(CreateFileA(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return std::string();
  char buffer[MAX_PATH * 2];
  DWORD n = finalPath(file.Get(), buffer, sizeof buffer, 0);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return WithoutNamespacePrefix(std::string(buffer, n));
}

// Where path leads as the system resolves it: its final path where the
// system can tell it, else the full path ("." and ".." and repeated
// separators resolved). Empty when neither can be had.
std::string ResolvedPath(const char* path) {
  std::string resolved = FinalPathOf(path);
  if (!resolved.empty()) return resolved;
  char buffer[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(path, sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return WithoutNamespacePrefix(std::string(buffer, n));
}

// True for "X:\" and for "\\server\share\" (with its trailing separator).
bool IsDriveOrShareRoot(const std::string& path) {
  if (path.size() == 3 && path[1] == ':' && path[2] == '\\') return true;
  if (path.size() < 5 || path[0] != '\\' || path[1] != '\\') return false;
  size_t server = path.find('\\', 2);
  if (server == std::string::npos || server == 2) return false;
  size_t share = path.find('\\', server + 1);
  return share != std::string::npos && share > server + 1 &&
         share + 1 == path.size();
}

// Marks an open file to be deleted when its last handle closes, or clears
// the mark. The system honours the mark however the process ends, so a
// copy cut short by a kill leaves nothing. SetFileInformationByHandle
// exists from Vista on and is looked up at run time; without it (XP) there
// is no mark and false is returned.
bool MarkForDeletion(HANDLE file, bool mark) {
  using SetInfoFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
  static const SetInfoFn setInfo = ProcAddress<SetInfoFn>(
      GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
  if (setInfo == nullptr) return false;
  const int kFileDispositionInfo = 4;  // FILE_INFO_BY_HANDLE_CLASS
  struct { BOOLEAN DeleteFile; } disposition = {static_cast<BOOLEAN>(mark)};
  return setInfo(file, kFileDispositionInfo, &disposition,
                 sizeof disposition) != FALSE;
}

// A new file beside destination ("upd*.tmp"), opened for writing and for
// no one else, and marked to go when its handle closes; its name in temp.
ScopedHandle CreateTempBeside(const std::string& destination,
                              std::string& temp, bool& marked) {
  // The folder with its separator ("X:\\" stays a root), "." for a bare
  // name.
  std::string directory =
      FolderPrefixOf(destination, "\\/", CodePage(GetACP()));
  if (directory.empty()) directory = ".";
  UINT unique = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[MAX_PATH];
    if (++unique == 0) ++unique;  // 0 would make GetTempFileNameA create it
    if (GetTempFileNameA(directory.c_str(), "upd", unique, name) == 0)
      return ScopedHandle();
    ScopedHandle file(CreateFileA(name, GENERIC_WRITE | DELETE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) {
      temp = name;
      marked = MarkForDeletion(file.Get(), true);
      return file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return ScopedHandle();
  }
  return ScopedHandle();
}

// Copies the data and the last-write time of source into the open file.
bool CopyContent(const char* source, HANDLE to) {
  ScopedHandle from(CreateFileA(source, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                nullptr));
  if (!from.Valid()) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from.Get(), buffer.data(),
                  static_cast<DWORD>(buffer.size()), &got, nullptr))
      return false;
    if (got == 0) break;
    DWORD done = 0;
    while (done < got) {
      DWORD put = 0;
      if (!WriteFile(to, buffer.data() + done, got - done, &put, nullptr) ||
          put == 0)
        return false;
      done += put;
    }
  }
  FILETIME written;
  return GetFileTime(from.Get(), nullptr, nullptr, &written) &&
         SetFileTime(to, nullptr, nullptr, &written) &&
         FlushFileBuffers(to);
}

// Makes a whole copy of source beside destination and renames it over
// destination, so that the name holds the old file until the new one is
// complete. The copy is marked for deletion while it is written, so that
// neither a failure nor a kill leaves it behind; the mark is cleared only
// once it is whole, just before the rename.
bool CopyBesideAndReplace(const char* source, const char* destination) {
  DWORD attributes = GetFileAttributesA(source);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  std::string temp;
  bool marked = false;
  ScopedHandle file = CreateTempBeside(destination, temp, marked);
  if (!file.Valid()) return false;
  bool whole = CopyContent(source, file.Get());
  if (whole && marked && !MarkForDeletion(file.Get(), false)) whole = false;
  file.Reset();  // a marked copy goes with its handle
  if (whole) {
    // The attributes that CopyFileA carries over.
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD own = attributes & kept;
    if ((own == 0 || SetFileAttributesA(temp.c_str(), own)) &&
        MoveFileExA(temp.c_str(), destination,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
  }
  // The copy that was not marked (or no longer is) goes by hand. Where that
  // fails nothing more can be done: it keeps its "upd*.tmp" name, which is
  // never the destination's.
  if (whole || !marked) {
    (void)SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    (void)DeleteFileA(temp.c_str());
  }
  return false;
}

}  // namespace

std::unique_ptr<DirSearch> Win32Platform::StartSearch(const char* pattern,
                                                      DirEntry& first) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return nullptr;
  auto result = std::make_unique<Win32DirSearch>(search);
  TakeEntry(data, first);
  return result;
}

std::unique_ptr<DirSearch> Win32Platform::StartSearchInside(
    const char* directory, DirEntry& first) {
  // A directory that has become a junction or a link since it was listed is
  // not entered.
  DWORD attributes = GetFileAttributesA(directory);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return nullptr;
  std::string pattern = std::string(directory) + "\\*.*";
  return StartSearch(pattern.c_str(), first);
}

uint32_t Win32Platform::GetFileAttrs(const char* path) {
  return GetFileAttributesA(path);
}

bool Win32Platform::SetFileAttrs(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) != FALSE;
}

bool Win32Platform::MakeDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) != FALSE;
}

bool Win32Platform::RemoveDir(const char* path) {
  return RemoveDirectoryA(path) != FALSE;
}

bool Win32Platform::CopyFileOver(const char* source,
                                 const char* destination) {
  // The replace rules are checked here, not left to the system: Wine run
  // by root would overwrite a read-only file.
  const DWORD existing = GetFileAttributesA(destination);
  if (existing == INVALID_FILE_ATTRIBUTES)
    return CopyFileA(source, destination, TRUE) != FALSE;
  if (Refused(JudgeReplace(
          ReplaceTargetOf(existing, IsSameFile(source, destination)))))
    return false;
  // CopyFileA would write through a link at the destination, and a copy
  // cut short would leave neither the old file nor the new one.
  return CopyBesideAndReplace(source, destination);
}

bool Win32Platform::MoveFileTo(const char* source, const char* destination) {
  return MoveFileA(source, destination) != FALSE;
}

bool Win32Platform::MoveFileOver(const char* source,
                                 const char* destination) {
  const DWORD existing = GetFileAttributesA(destination);
  if (existing == INVALID_FILE_ATTRIBUTES) return MoveFileTo(source, destination);
  if (Refused(JudgeReplace(
          ReplaceTargetOf(existing, IsSameFile(source, destination)))))
    return false;
  // On one volume a rename replaces the old file in one step.
  if (MoveFileExA(source, destination,
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  // Across volumes: a whole copy beside the destination replaces it, then
  // the source goes. A source that cannot be deleted stays as well, and the
  // move is reported as failed.
  if (!CopyBesideAndReplace(source, destination)) return false;
  return DeleteFileA(source) != FALSE;
}

bool Win32Platform::IsFileSystemRoot(const char* path, bool followLast) {
  // As the system reads the path: ".", ".." and repeated separators go by
  // the text ("link\." is the link).
  char full[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return false;
  std::string text = WithoutNamespacePrefix(std::string(full, n));
  if (text.empty()) return false;
  if (text.back() != '\\') text += '\\';
  if (IsDriveOrShareRoot(text)) return true;  // never a link of its own
  if (!followLast) {
    DWORD attributes = GetFileAttributesA(full);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      return false;  // the link itself
  }
  std::string where = ResolvedPath(path);
  if (where.empty()) return false;
  if (where.back() != '\\') where += '\\';
  if (IsDriveOrShareRoot(where)) return true;
  // A volume mounted in a folder is the root of its file system too.
  char volume[MAX_PATH * 2];
  if (!GetVolumePathNameA(where.c_str(), volume, sizeof volume)) return false;
  return EqualsNoCase(WithoutNamespacePrefix(volume), where);
}

bool Win32Platform::IsSameFile(const char* first, const char* second) {
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  return FileIdentity(first, a) && FileIdentity(second, b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool Win32Platform::FinalPath(const char* path, std::string& out) {
  out = FinalPathOf(path);
  return !out.empty();
}

bool Win32Platform::DeleteOneFile(const char* path) {
  return DeleteFileA(path) != FALSE;
}

std::unique_ptr<ExclusiveFile> Win32Platform::OpenExclusive(
    const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32ExclusiveFile>(file);
}

size_t Win32Platform::LongestPath() const {
  // The ANSI calls take MAX_PATH characters with the terminating null.
  return MAX_PATH - 1;
}

bool Win32Platform::FullPath(const char* path, std::string& out) {
  // MAX_PATH characters: a double-byte character takes two bytes.
  char buffer[MAX_PATH * 2];
  const DWORD length = GetFullPathNameA(path, sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return false;
  out.assign(buffer, length);
  return true;
}
