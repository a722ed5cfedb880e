#include "base/name_rules.h"

#include <cstring>

#include "base/code_page.h"

namespace {

// The bytes of one character.
int CharLen(const char* p, const CodePage& cp) {
  int n = cp.CharLength(p);
  return n < 1 ? 1 : n;
}

bool SameChar(const char* a, int lenA, const char* b, int lenB,
              const CodePage& cp) {
  return lenA == lenB &&
         cp.SameIgnoringAsciiCase(a, b, static_cast<size_t>(lenA));
}

// "*" and "?" over whole characters, with the classic single backtracking
// point for the last "*" (linear in practice, never recursive).
bool MatchPlain(const char* pattern, size_t patternLength, const char* name,
                const CodePage& cp) {
  const char* p = pattern;
  const char* end = pattern + patternLength;
  const char* n = name;
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*n != '\0') {
    if (p < end && *p == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    int pl = p < end ? CharLen(p, cp) : 0;
    int nl = CharLen(n, cp);
    if (p < end && (*p == '?' || SameChar(p, pl, n, nl, cp))) {
      p += pl;
      n += nl;
      continue;
    }
    if (starP == nullptr) return false;
    p = starP;
    starN += CharLen(starN, cp);
    n = starN;
  }
  while (p < end && *p == '*') ++p;
  return p == end;
}

bool IsSeparator(const char* p, const char* separators) {
  return *p != '\0' && std::strchr(separators, *p) != nullptr;
}

}  // namespace

bool WildcardMatch(const char* pattern, const char* name, const CodePage& cp) {
  size_t length = std::strlen(pattern);
  if (MatchPlain(pattern, length, name, cp)) return true;
  // "X.*" also matches a name without an extension: "*.*" matches all.
  // The "." must be a whole character of its own.
  if (length >= 2 && pattern[length - 1] == '*' &&
      pattern[length - 2] == '.') {
    const char* last = pattern;  // start of the character before "*"
    for (const char* p = pattern; p < pattern + length - 1; p += CharLen(p, cp))
      last = p;
    if (last == pattern + length - 2)
      return MatchPlain(pattern, length - 2, name, cp);
  }
  return false;
}

bool HasWildcard(const char* text, const CodePage& cp) {
  for (const char* p = text; *p != '\0'; p += CharLen(p, cp))
    if (*p == '*' || *p == '?') return true;
  return false;
}

bool DeviceNamesApply(const char* separator) {
  return separator[0] == '\\';
}

bool IsDeviceName(const char* name, const CodePage& cp) {
  // The base name: up to the first "." (a whole character), trailing blanks
  // and dots not counted.
  std::string base;
  for (const char* p = name; *p != '\0' && *p != '.'; p += CharLen(p, cp))
    base.append(p, static_cast<size_t>(CharLen(p, cp)));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.'))
    base.pop_back();
  std::string folded = cp.FoldAsciiCase(base);
  if (folded == "con" || folded == "prn" || folded == "aux" ||
      folded == "nul")
    return true;
  if (folded.size() == 4 &&
      (folded.compare(0, 3, "com") == 0 || folded.compare(0, 3, "lpt") == 0) &&
      folded[3] >= '1' && folded[3] <= '9')
    return true;
  // The console's two names count only without an extension.
  std::string whole(name);
  while (!whole.empty() && (whole.back() == ' ' || whole.back() == '.'))
    whole.pop_back();
  folded = cp.FoldAsciiCase(whole);
  return folded == "conin$" || folded == "conout$";
}

std::string DeviceComponent(const char* path, const char* separators,
                            const CodePage& cp) {
  const char* p = path;
  while (*p != '\0') {
    if (IsSeparator(p, separators)) {
      ++p;
      continue;
    }
    const char* start = p;
    while (*p != '\0' && !IsSeparator(p, separators)) p += CharLen(p, cp);
    std::string component(start, static_cast<size_t>(p - start));
    if (IsDeviceName(component.c_str(), cp)) return component;
  }
  return std::string();
}

bool HasEmptyComponent(const char* path, const char* separators,
                       bool leadingPair, const CodePage& cp) {
  const char* p = path;
  // The root's own separators.
  if (IsSeparator(p, separators)) {
    ++p;
    if (leadingPair && IsSeparator(p, separators)) ++p;
  }
  // A separator right after the root's, or two in a row after a name, is
  // an empty component unless only separators follow it.
  size_t run = p != path ? 1 : 0;
  while (*p != '\0') {
    if (IsSeparator(p, separators)) {
      ++run;
      ++p;
      continue;
    }
    if (run >= 2) return true;
    run = 0;
    p += CharLen(p, cp);
  }
  return false;
}
