#include "base/path_parts.h"

#include <cstring>

#include "base/code_page.h"

namespace {

bool IsSeparator(char c, const char* separators) {
  return c != '\0' && std::strchr(separators, c) != nullptr;
}

// One walk through path, character by character (the trail byte of a
// double-byte character is never taken for a separator), gives every part
// the functions below hand out.
struct PathScan {
  size_t nameStart = 0;  // just after the last separator
  // The first separator of the run before the last component, trailing
  // separators aside; npos when there is none.
  size_t separatorBeforeName = std::string::npos;
  size_t keep = 0;  // bytes up to the end of the last other character
  bool separatorsOnly = false;
};

PathScan Scan(const std::string& path, const char* separators,
              const CodePage& cp) {
  PathScan scan;
  scan.separatorsOnly = !path.empty();
  size_t pending = std::string::npos;  // a separator not yet followed
  for (size_t at = 0; at < path.size();) {
    if (IsSeparator(path[at], separators)) {
      if (pending == std::string::npos) pending = at;
      scan.nameStart = ++at;
      continue;
    }
    if (pending != std::string::npos) scan.separatorBeforeName = pending;
    pending = std::string::npos;
    scan.separatorsOnly = false;
    const int n = cp.CharLength(path.c_str() + at);
    at += n < 1 ? 1 : static_cast<size_t>(n);
    scan.keep = at;
  }
  return scan;
}

}  // namespace

size_t NameStart(const std::string& path, const char* separators,
                 const CodePage& cp) {
  return Scan(path, separators, cp).nameStart;
}

std::string NameOf(const std::string& path, const char* separators,
                   const CodePage& cp) {
  return path.substr(NameStart(path, separators, cp));
}

std::string FolderPrefixOf(const std::string& path, const char* separators,
                           const CodePage& cp) {
  return path.substr(0, NameStart(path, separators, cp));
}

std::string DirectoryOf(const std::string& path, const char* separators,
                        const CodePage& cp) {
  const size_t start = NameStart(path, separators, cp);
  if (start == 0) return ".";
  if (start == 1) return path.substr(0, 1);  // the root
  return path.substr(0, start - 1);
}

size_t LengthWithoutTrailingSeparators(const std::string& path,
                                       const char* separators,
                                       const CodePage& cp) {
  return Scan(path, separators, cp).keep;
}

std::string WithoutTrailingSeparators(const std::string& path,
                                      const char* separators,
                                      const CodePage& cp) {
  const PathScan scan = Scan(path, separators, cp);
  if (scan.separatorsOnly) return path.substr(0, 1);
  return path.substr(0, scan.keep);
}

size_t SeparatorBeforeName(const std::string& path, const char* separators,
                           const CodePage& cp, size_t* end) {
  const PathScan scan = Scan(path, separators, cp);
  if (end != nullptr) *end = scan.keep == 0 ? path.size() : scan.keep;
  return scan.separatorBeforeName;
}
