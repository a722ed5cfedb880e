// The transcript's file: opened for appending data only, so that every
// write goes to the end of the file, also with other writers.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

#include <utility>

namespace {

class Win32AppendFile : public AppendFile {
 public:
  explicit Win32AppendFile(ScopedHandle&& file) : file_(std::move(file)) {}

  bool WriteLine(const std::string& text) override {
    return WriteLineTo(file_.Get(), text);
  }

 private:
  ScopedHandle file_;
};

}  // namespace

std::unique_ptr<AppendFile> Win32Platform::OpenForAppend(const char* path) {
  if (path == nullptr || path[0] == 0) return nullptr;
  // CreateFileA neither opens a directory without FILE_FLAG_BACKUP_SEMANTICS
  // nor waits for a pipe: a pipe without a free instance fails at once.
  ScopedHandle file(CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return nullptr;
  // A file, a pipe or a character device (NUL, the console).
  DWORD type = GetFileType(file.Get());
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE &&
      type != FILE_TYPE_CHAR) {
    return nullptr;
  }
  return std::make_unique<Win32AppendFile>(std::move(file));
}
