// Rules of the process's ANSI code page: which bytes begin a double-byte
// character. Every character-aware search in StrBuf asks CharLength.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Code pages with special rules. Every other value is treated as a
// single-byte code page.
constexpr unsigned kCodePageShiftJis = 932;
constexpr unsigned kCodePageUtf8 = 65001;

// The code page whose rules apply: the one copy of it in the process. The
// system platform sets it when it is created (SystemInfo::AnsiCodePage reads
// it from here); tests may set it at will. The default is UTF-8.
void SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();

// First occurrence of needle (nlen bytes) at a character boundary at or
// after start, which must itself be a boundary; -1 when there is none.
int32_t FindAtCharBoundary(const char* text, int32_t len, int32_t start,
                           const char* needle, int32_t nlen);
// First character boundary at or after the end of a match of nlen bytes at
// q (a boundary inside the text).
int32_t CharBoundaryAfter(const char* text, int32_t q, int32_t nlen);

// True when b starts a character of more than one byte.
bool IsLeadByte(unsigned char b);

// Number of bytes of the character that starts at p: 1 for a single-byte
// character and for the terminating NUL; never steps over a NUL.
int CharLength(const char* p);

// The fold itself: c with the letters A to Z lowered. Applied to single
// bytes only where they are whole characters, or where a coarser key does
// no harm (a hash of names compared with SameIgnoringAsciiCase).
inline char FoldAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The engine's one comparison without regard to case: n bytes of a and b
// are equal when their characters are, the letters A to Z folded. Only
// whole single-byte characters fold: the second byte of a double-byte
// character is never taken for a letter (in code page 932 "ア" 83 41 and
// "ヂ" 83 61 differ).
bool SameIgnoringAsciiCase(const char* a, const char* b, size_t n);
// text with the letters A to Z of its single-byte characters lowered: a key
// under which SameIgnoringAsciiCase texts are equal.
std::string FoldAsciiCase(const std::string& text);
