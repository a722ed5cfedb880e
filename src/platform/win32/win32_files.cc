// Directory search, attributes, directories, copies, moves, deletions and
// exclusive reads.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

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
    if (!FindNextFileA(search_.Get(), &data)) return false;
    TakeEntry(data, entry);
    return true;
  }

 private:
  ScopedFind search_;
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
  // Windows refuses to overwrite a read-only or hidden destination; Wine
  // run by root writes over it all the same. Refuse it here too, so that
  // the outcome does not depend on who runs the program.
  DWORD existing = GetFileAttributesA(destination);
  if (existing != INVALID_FILE_ATTRIBUTES &&
      !(existing & FILE_ATTRIBUTE_DIRECTORY) &&
      (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return CopyFileA(source, destination, FALSE) != FALSE;
}

bool Win32Platform::MoveFileTo(const char* source, const char* destination) {
  return MoveFileA(source, destination) != FALSE;
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
