// Directory search, attributes, directories, copies, moves and deletes.
#include "platform/posix/posix_platform.h"

std::unique_ptr<DirSearch> PosixPlatform::StartSearch(const char*, DirEntry&) {
  return nullptr;
}
uint32_t PosixPlatform::GetFileAttrs(const char*) { return kInvalidAttributes; }
bool PosixPlatform::SetFileAttrs(const char*, uint32_t) { return false; }
bool PosixPlatform::MakeDirectory(const char*) { return false; }
bool PosixPlatform::RemoveDir(const char*) { return false; }
bool PosixPlatform::CopyFileOver(const char*, const char*) { return false; }
bool PosixPlatform::MoveFileTo(const char*, const char*) { return false; }
bool PosixPlatform::DeleteOneFile(const char*) { return false; }
std::unique_ptr<ExclusiveFile> PosixPlatform::OpenExclusive(const char*) {
  return nullptr;
}
