#include "platform/posix/file_looks.h"

#include <dirent.h>
#include <fcntl.h>

#include <cstring>
#include <utility>

uint32_t AttributesOf(const struct stat& st, const struct stat* followed) {
  if (S_ISLNK(st.st_mode)) {
    const bool toDirectory = followed != nullptr && S_ISDIR(followed->st_mode);
    return kAttrReparsePoint | (toDirectory ? kAttrDirectory : kAttrArchive);
  }
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  return kAttrArchive | (IsReadOnlyMode(st.st_mode) ? kAttrReadOnly : 0);
}

uint32_t PathAttributes(const char* path) {
  struct stat st;
  if (*path == '\0' || lstat(path, &st) != 0) return kInvalidAttributes;
  struct stat target;
  const bool haveTarget = S_ISLNK(st.st_mode) && stat(path, &target) == 0;
  return AttributesOf(st, haveTarget ? &target : nullptr);
}

bool EntryAttributes(int dirFd, const char* name, unsigned char type,
                     uint32_t& attributes, mode_t& mode) {
  if (type == DT_DIR) {
    attributes = kAttrDirectory;
    mode = S_IFDIR;
    return true;
  }
  struct stat st;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  struct stat target;
  const bool haveTarget =
      S_ISLNK(st.st_mode) && fstatat(dirFd, name, &target, 0) == 0;
  attributes = AttributesOf(st, haveTarget ? &target : nullptr);
  mode = st.st_mode;
  return true;
}

ReplaceTarget ReplaceTargetAt(const char* destination,
                              const struct stat& existing,
                              const struct stat& source) {
  struct stat behind;
  const bool haveBehind =
      S_ISLNK(existing.st_mode) && stat(destination, &behind) == 0;
  const auto same = [&source](const struct stat& st) {
    return st.st_dev == source.st_dev && st.st_ino == source.st_ino;
  };
  return ReplaceTargetOf(AttributesOf(existing, haveBehind ? &behind : nullptr),
                         same(existing) || (haveBehind && same(behind)));
}

void FoundEntry::Set(const void* search, const std::string& prefix,
                     const std::string& name, int directory, mode_t mode) {
  look_.search = search;
  look_.path.assign(prefix).append(name);
  look_.directory = directory;
  look_.nameAt = directory == AT_FDCWD ? 0 : prefix.size();
  look_.mode = mode;
}

const FoundEntry::Look* FoundEntry::Take(const char* path) {
  if (look_.search == nullptr || look_.path != path) return nullptr;
  std::swap(taken_, look_);
  Forget();
  return &taken_;
}
