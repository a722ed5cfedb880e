#include "run/rollback_tree.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/code_page.h"
#include "base/name_rules.h"
#include "base/path_parts.h"
#include "run/rollback.h"

namespace rollback_tree {

namespace {

constexpr uint32_t kReadBlock = 65536;
// What a search inside a directory adds to its path besides the separator.
constexpr size_t kSearchPatternLength = 3;  // "*.*"

}  // namespace

bool IsReserved(const std::string& name) {
  static const size_t prefix = std::strlen(kRollbackReservedPrefix);
  return name.compare(0, prefix, kRollbackReservedPrefix) == 0;
}

bool IsDots(const DirEntry& entry) {
  return (entry.attributes & kAttrDirectory) != 0 &&
         (entry.name == "." || entry.name == "..");
}

bool IsPlainDirectory(uint32_t attributes) {
  return Exists(attributes) &&
         (attributes & (kAttrDirectory | kAttrReparsePoint)) == kAttrDirectory;
}

bool IsDirectoryLink(uint32_t attributes) {
  return Exists(attributes) &&
         (attributes & (kAttrDirectory | kAttrReparsePoint)) ==
             (kAttrDirectory | kAttrReparsePoint);
}

std::string Trimmed(const std::string& path, const char* sep,
                    const CodePage& cp) {
  size_t end = 0;
  SeparatorBeforeName(path, sep, cp, &end);
  return path.substr(0, end);
}

std::string Plain(const std::string& path, const char* sep,
                  const CodePage& cp) {
  std::string plain = Trimmed(path, sep, cp);
  const std::string dot = std::string(sep) + ".";
  while (plain.size() > dot.size() &&
         plain.compare(plain.size() - dot.size(), dot.size(), dot) == 0)
    plain = Trimmed(plain.substr(0, plain.size() - dot.size() + 1), sep, cp);
  return plain;
}

size_t PathLength(const std::string& path, const CodePage& cp) {
  size_t characters = 0;
  for (size_t at = 0; at < path.size(); ++characters) {
    const int length = cp.CharLength(path.c_str() + at);
    at += length < 1 ? 1 : static_cast<size_t>(length);
  }
  return characters;
}

std::string LockPath(const std::string& journal) {
  return journal.substr(0, journal.size() - (sizeof kJournalSuffix - 1)) +
         ".lock";
}

std::string Base36(uint64_t value, int digits) {
  std::string text;
  do {
    text.insert(text.begin(),
                "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
    value /= 36;
  } while ((digits == 0 && value != 0) ||
           (digits > 0 && static_cast<int>(text.size()) < digits));
  return text;
}

bool ForEachBlock(FileSystem& files, const std::string& path,
                  const std::function<void(const char*, uint32_t)>& add) {
  std::unique_ptr<ExclusiveFile> file = files.OpenExclusive(path.c_str());
  if (!file) return false;
  std::vector<char> block(kReadBlock);
  uint32_t got = 0;
  while (file->Read(block.data(), kReadBlock, got) && got > 0)
    add(block.data(), got);
  return true;
}

TreeLook LookThrough(FileSystem& files, const std::string& directory,
                     bool devices, const CodePage& cp) {
  const char* sep = files.PathSeparator();
  const size_t sepLength = PathLength(sep, cp);
  TreeLook look;
  // The lengths below the tree's own path, kept beside each directory.
  std::vector<std::pair<std::string, size_t>> directories{{directory, 0}};
  while (!directories.empty()) {
    const std::string path = directories.back().first;
    const size_t below = directories.back().second;
    directories.pop_back();
    const std::string prefix = path + sep;
    look.deepest = std::max(look.deepest, below + sepLength +
                                              kSearchPatternLength);
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        files.StartSearchInside(path.c_str(), entry);
    if (!search) {
      look.unlisted = true;
      return look;
    }
    do {
      if (IsDots(entry)) continue;
      const size_t length = below + sepLength + PathLength(entry.name, cp);
      look.deepest = std::max(look.deepest, length);
      if (devices && IsDeviceName(entry.name.c_str(), cp)) look.device = true;
      if (IsPlainDirectory(entry.attributes)) {
        directories.emplace_back(prefix + entry.name, length);
      } else if ((entry.attributes & kAttrDirectory) == 0 &&
                 (entry.attributes & kAttrReadOnly) != 0) {
        look.readOnly = true;
        return look;
      }
    } while (search->Next(entry));
    if (!search->Complete()) {
      look.unlisted = true;
      return look;
    }
  }
  return look;
}

bool RemoveTree(FileSystem& files, const std::string& path,
                const std::function<bool(const std::string&)>& leaveForLater) {
  auto removeFile = [&](const std::string& file, uint32_t attributes) {
    // A reset that fails does not decide it: POSIX deletes by the
    // folder's permissions, and a file that stays is left for later.
    if ((attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem)) != 0)
      (void)files.SetFileAttrs(file.c_str(), kAttrNormal);
    return files.DeleteOneFile(file.c_str()) || leaveForLater(file);
  };
  const uint32_t attributes = files.GetFileAttrs(path.c_str());
  if (!Exists(attributes)) return true;
  if (IsDirectoryLink(attributes)) return files.RemoveDir(path.c_str());
  if (!IsPlainDirectory(attributes)) return removeFile(path, attributes);
  bool all = true;
  std::vector<std::string> directories{path};
  for (size_t next = 0; next < directories.size(); ++next) {
    const std::string prefix = directories[next] + files.PathSeparator();
    DirEntry entry;
    std::unique_ptr<DirSearch> search =
        files.StartSearchInside(directories[next].c_str(), entry);
    if (!search) continue;
    do {
      if (IsDots(entry)) continue;
      const std::string inner = prefix + entry.name;
      if (IsPlainDirectory(entry.attributes))
        directories.push_back(inner);
      else if (IsDirectoryLink(entry.attributes))
        all = files.RemoveDir(inner.c_str()) && all;
      else
        all = removeFile(inner, entry.attributes) && all;
    } while (search->Next(entry));
  }
  for (size_t i = directories.size(); i-- > 0;)
    all = (files.RemoveDir(directories[i].c_str()) ||
           leaveForLater(directories[i])) &&
          all;
  return all;
}

}  // namespace rollback_tree
