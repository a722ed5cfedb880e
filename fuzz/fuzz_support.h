// Helpers shared by the fuzz targets.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/code_page.h"

// A property that must hold for every input: a violation is reported and
// ends the run as a crash, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                              \
  do {                                                                     \
    if (!(condition)) {                                                    \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__,       \
                   __LINE__, #condition);                                  \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

// A private directory for the files a target writes, on a memory file
// system where there is one; made once, left to the system's cleanup of
// /tmp and /dev/shm.
inline const std::string& FuzzDirectory() {
  static const std::string directory = [] {
    const char* bases[] = {"/dev/shm", getenv("TMPDIR"), "/tmp"};
    for (const char* base : bases) {
      if (base == nullptr || access(base, W_OK) != 0) continue;
      std::string pattern = std::string(base) + "/updater-fuzz.XXXXXX";
      if (mkdtemp(&pattern[0]) != nullptr) return pattern;
    }
    std::perror("mkdtemp");
    std::abort();
  }();
  return directory;
}

// Writes bytes to path, replacing it; aborts when that fails.
inline void WriteFuzzFile(const std::string& path, const void* data,
                          size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr ||
      (size > 0 && std::fwrite(data, 1, size, file) != size) ||
      std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

// Equal but for the case of ASCII letters (the reference comparisons).
inline bool SameFolded(const std::string& a, const std::string& b,
                       const CodePage& cp) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    // A character of more bytes compares as it is: its second byte is
    // never a letter, whatever its value.
    const size_t n = static_cast<size_t>(cp.CharLength(a.c_str() + i));
    if (n > 1) {
      if (a.compare(i, n, b, i, n) != 0) return false;
      i += n;
      continue;
    }
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
    ++i;
  }
  return true;
}
