// Directory searches with the Windows meaning: a pattern may hold "*" (any
// run) and "?" (one character) in its last component, matched by the
// engine's own matcher (base/name_rules.h): ASCII case ignored, "X.*" also
// matches "X", so "*.*" matches every name. A search of a directory yields
// "." and ".." first, as on Windows. The last component of a path is never
// followed. Each entry handed out leaves its look with the platform
// (FoundEntry), for the operation the engine makes on it next.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/name_rules.h"
#include "base/path_parts.h"
#include "platform/posix/file_looks.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace {

// A search that matched one named entry.
class SingleSearch : public DirSearch {
 public:
  explicit SingleSearch(FoundEntry& found) : found_(found) {}
  SingleSearch(const SingleSearch&) = delete;
  SingleSearch& operator=(const SingleSearch&) = delete;
  ~SingleSearch() override { found_.ForgetSearch(this); }
  bool Next(DirEntry&) override { return false; }

 private:
  FoundEntry& found_;
};

// A wildcard search over one directory: "." and ".." first (when they
// match), then the directory's entries in the order the system gives them.
// Entry paths are prefix + name.
class PatternSearch : public DirSearch {
 public:
  PatternSearch(DIR* dir, std::string pattern, std::string prefix,
                FoundEntry& found, const CodePage& cp)
      : dir_(dir, closedir),
        pattern_(std::move(pattern)),
        prefix_(std::move(prefix)),
        found_(found),
        cp_(cp) {}
  PatternSearch(const PatternSearch&) = delete;
  PatternSearch& operator=(const PatternSearch&) = delete;
  ~PatternSearch() override { found_.ForgetSearch(this); }

  bool Next(DirEntry& entry) override {
    while (dots_ < 2) {
      const char* dot = dots_++ == 0 ? "." : "..";
      if (WildcardMatch(pattern_.c_str(), dot, cp_)) {
        entry.name = dot;
        entry.attributes = kAttrDirectory;
        found_.Forget();
        return true;
      }
    }
    const int directory = dirfd(dir_.get());
    for (;;) {
      errno = 0;  // readdir tells its end from an error only by errno
      const struct dirent* d = readdir(dir_.get());
      if (d == nullptr) {
        complete_ = errno == 0;
        return false;
      }
      const char* name = d->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        continue;
      if (!WildcardMatch(pattern_.c_str(), name, cp_)) continue;
      uint32_t attributes = 0;
      mode_t mode = 0;
      if (!EntryAttributes(directory, name, d->d_type, attributes, mode))
        continue;  // vanished since it was listed
      entry.name = name;
      entry.attributes = attributes;
      found_.Set(this, prefix_, entry.name, directory, mode);
      return true;
    }
  }
  bool Complete() const override { return complete_; }

 private:
  std::unique_ptr<DIR, int (*)(DIR*)> dir_;
  std::string pattern_;
  std::string prefix_;
  FoundEntry& found_;
  const CodePage& cp_;
  int dots_ = 0;
  bool complete_ = true;
};

}  // namespace

std::unique_ptr<DirSearch> PosixPlatform::StartSearch(const char* pattern,
                                                      DirEntry& first) {
  const std::string path(pattern);
  const std::string name = NameOf(path, "/", codePage_);
  if (name.empty()) return nullptr;  // a path ending with a separator

  if (!HasWildcard(name.c_str(), codePage_)) {
    struct stat st;
    if (lstat(pattern, &st) != 0) return nullptr;
    struct stat target;
    const bool haveTarget = S_ISLNK(st.st_mode) && stat(pattern, &target) == 0;
    first.name = name;
    first.attributes = AttributesOf(st, haveTarget ? &target : nullptr);
    auto search = std::make_unique<SingleSearch>(found_);
    found_.Set(search.get(), std::string(), path, AT_FDCWD, st.st_mode);
    return search;
  }

  DIR* dir = opendir(DirectoryOf(path, "/", codePage_).c_str());
  if (dir == nullptr) return nullptr;
  auto search = std::make_unique<PatternSearch>(
      dir, name, FolderPrefixOf(path, "/", codePage_), found_, codePage_);
  if (!search->Next(first)) return nullptr;
  return search;
}

std::unique_ptr<DirSearch> PosixPlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  // O_NOFOLLOW: a directory exchanged for a link since it was listed is not
  // entered.
  UniqueFd fd(open(directory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.Valid()) return nullptr;
  DIR* dir = fdopendir(fd.Get());
  if (dir == nullptr) return nullptr;
  fd.Release();  // the search's own now
  auto search = std::make_unique<PatternSearch>(
      dir, "*.*", std::string(directory) + "/", found_, codePage_);
  if (!search->Next(first)) return nullptr;
  return search;
}

uint32_t PosixPlatform::GetFileAttrs(const char* path) {
  // A trailing separator does not lead through a link: "link/" is the link.
  const std::string p = WithoutTrailingSeparators(path, "/", codePage_);
  const uint32_t attributes = PathAttributes(p.c_str());
  if (p.size() != std::strlen(path) && attributes != kInvalidAttributes &&
      (attributes & kAttrDirectory) == 0)
    return kInvalidAttributes;  // "file/" names nothing
  return attributes;
}
