// Rules of an ANSI code page: which bytes begin a character of more than one
// byte. A CodePage is a value handed to what reads text: the entry point
// takes the system's (SystemInfo::AnsiCodePage()) once and the Runtime holds
// it; tests make the one they need. Every character-aware search in StrBuf
// asks CharLength.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Code pages with special rules. Every other value is treated as a
// single-byte code page.
constexpr unsigned kCodePageShiftJis = 932;
constexpr unsigned kCodePageUtf8 = 65001;

class CodePage {
 public:
  // The rules of code page id (default UTF-8).
  explicit CodePage(unsigned id = kCodePageUtf8);

  unsigned Id() const { return id_; }

  // True when b starts a character of more than one byte.
  bool IsLeadByte(unsigned char b) const { return length_[b] > 1; }

  // Number of bytes of the character that starts at p: 1 for a single-byte
  // character and for the terminating NUL; never steps over a NUL.
  int CharLength(const char* p) const {
    const unsigned char b = static_cast<unsigned char>(p[0]);
    // No code page has a lead byte below 0x80 (and the NUL is never one).
    if (b < 0x80) return 1;
    const int n = length_[b];
    if (n == 1) return 1;
    // Double-byte code page: any byte but the terminator is a trail byte.
    if (!utf8_) return p[1] != 0 ? 2 : 1;
    // UTF-8: the lead byte's high bits give the length. A sequence that is
    // cut short or broken counts as one byte, so the byte after it (which
    // may be a separator) is still seen.
    for (int i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
    return n;
  }

  // First occurrence of needle (nlen bytes) at a character boundary at or
  // after start, which must itself be a boundary; -1 when there is none.
  int32_t FindAtCharBoundary(const char* text, int32_t len, int32_t start,
                             const char* needle, int32_t nlen) const;
  // First character boundary at or after the end of a match of nlen bytes
  // at q (a boundary inside the text).
  int32_t CharBoundaryAfter(const char* text, int32_t q, int32_t nlen) const;

  // The engine's one comparison without regard to case: n bytes of a and b
  // are equal when their characters are, the letters A to Z folded. Only
  // whole single-byte characters fold: the second byte of a double-byte
  // character is never taken for a letter (in code page 932 "ア" 83 41 and
  // "ヂ" 83 61 differ).
  bool SameIgnoringAsciiCase(const char* a, const char* b, size_t n) const;
  // text with the letters A to Z of its single-byte characters lowered: a
  // key under which SameIgnoringAsciiCase texts are equal.
  std::string FoldAsciiCase(const std::string& text) const;

 private:
  unsigned id_;
  bool utf8_;
  // Per first byte: the length of the character it starts when it is a
  // lead byte (2 to 4), else 1.
  uint8_t length_[256];
};

// The fold itself: c with the letters A to Z lowered. Applied to single
// bytes only where they are whole characters, or where a coarser key does
// no harm (a hash of names compared with SameIgnoringAsciiCase).
inline char FoldAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
