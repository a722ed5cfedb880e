#include "base/path_parts.h"

#include <cstring>

#include "base/code_page.h"

namespace {

bool IsSeparator(char c, const char* separators) {
  return c != '\0' && std::strchr(separators, c) != nullptr;
}

}  // namespace

size_t NameStart(const std::string& path, const char* separators, const CodePage& cp) {
  size_t start = 0;
  for (size_t at = 0; at < path.size();) {
    if (IsSeparator(path[at], separators)) {
      start = ++at;
      continue;
    }
    const int n = cp.CharLength(path.c_str() + at);
    at += n < 1 ? 1 : static_cast<size_t>(n);
  }
  return start;
}

std::string NameOf(const std::string& path, const char* separators, const CodePage& cp) {
  return path.substr(NameStart(path, separators, cp));
}

std::string FolderPrefixOf(const std::string& path, const char* separators, const CodePage& cp) {
  return path.substr(0, NameStart(path, separators, cp));
}

std::string DirectoryOf(const std::string& path, const char* separators, const CodePage& cp) {
  const size_t start = NameStart(path, separators, cp);
  if (start == 0) return ".";
  if (start == 1) return path.substr(0, 1);  // the root
  return path.substr(0, start - 1);
}

std::string WithoutTrailingSeparators(const std::string& path,
                                      const char* separators, const CodePage& cp) {
  size_t keep = 0;  // bytes up to the end of the last other character
  bool separatorsOnly = !path.empty();
  for (size_t at = 0; at < path.size();) {
    if (IsSeparator(path[at], separators)) {
      ++at;
      continue;
    }
    separatorsOnly = false;
    const int n = cp.CharLength(path.c_str() + at);
    at += n < 1 ? 1 : static_cast<size_t>(n);
    keep = at;
  }
  if (separatorsOnly) return path.substr(0, 1);
  return path.substr(0, keep);
}
