// The parts of a path: its last component, the folder that holds it, the
// path without trailing separators. Pure logic over texts in the ANSI code
// page; separators are the single bytes of `separators` ("/", or "\\/"
// where the system takes both), and the second byte of a double-byte
// character is never taken for one.
#pragma once

#include <cstddef>
#include <string>

#include "base/code_page.h"

// Where the last component of path begins: just after its last separator,
// 0 when it has none ("a/b/" gives 4: an empty last component).
size_t NameStart(const std::string& path, const char* separators,
                   const CodePage& cp);

// The last component ("" for a path that ends with a separator).
std::string NameOf(const std::string& path, const char* separators,
                   const CodePage& cp);

// path up to and with its last separator ("" for a bare name): what the
// name of an entry beside path is appended to.
std::string FolderPrefixOf(const std::string& path, const char* separators,
                   const CodePage& cp);

// The directory that holds path, as the system reads it: "." for a bare
// name, the root itself for an entry of the root ("/x" gives "/"), else
// path without its last separator and name.
std::string DirectoryOf(const std::string& path, const char* separators,
                   const CodePage& cp);

// The length of path without the separators at its end: 0 for a path of
// separators only.
size_t LengthWithoutTrailingSeparators(const std::string& path,
                                       const char* separators,
                                       const CodePage& cp);

// path without the separators at its end; a path of separators only keeps
// its first.
std::string WithoutTrailingSeparators(const std::string& path,
                                      const char* separators,
                   const CodePage& cp);

// The first separator of the run before the last component of path,
// trailing separators aside ("a//b/" gives 1); npos when there is none.
// end, when given, receives the length of path without its trailing
// separators (the whole length for a path of separators only).
size_t SeparatorBeforeName(const std::string& path, const char* separators,
                           const CodePage& cp, size_t* end = nullptr);
