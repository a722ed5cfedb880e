#include "base/code_page.h"

#include <cstring>

CodePage::CodePage(unsigned id) : id_(id), utf8_(id == kCodePageUtf8) {
  for (int b = 0; b < 256; ++b) {
    int n = 1;
    switch (id) {
      case kCodePageShiftJis:
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) n = 2;
        break;
      case 936:  // simplified Chinese
      case 949:  // Korean
      case 950:  // traditional Chinese
        if (b >= 0x81 && b <= 0xFE) n = 2;
        break;
      case kCodePageUtf8:
        if (b >= 0xC2 && b <= 0xF4) n = b >= 0xF0 ? 4 : (b >= 0xE0 ? 3 : 2);
        break;
      default:
        break;
    }
    length_[b] = static_cast<uint8_t>(n);
  }
}

bool CodePage::SameIgnoringAsciiCase(const char* a, const char* b,
                                     size_t n) const {
  for (size_t i = 0; i < n;) {
    const size_t length = static_cast<size_t>(CharLength(a + i));
    if (length > 1 && i + length <= n) {
      // Equal bytes here keep both texts on the same character boundaries.
      for (size_t k = 0; k < length; ++k)
        if (a[i + k] != b[i + k]) return false;
      i += length;
      continue;
    }
    if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) return false;
    ++i;
  }
  return true;
}

std::string CodePage::FoldAsciiCase(const std::string& text) const {
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    const size_t length = static_cast<size_t>(CharLength(out.c_str() + i));
    if (length == 1) out[i] = FoldAsciiLetter(out[i]);
    i += length;
  }
  return out;
}

int32_t CodePage::FindAtCharBoundary(const char* text, int32_t len,
                                     int32_t start, const char* needle,
                                     int32_t nlen) const {
  if (nlen <= 0) return -1;
  for (int32_t p = start; p < len && len - p >= nlen;
       p += CharLength(text + p)) {
    if (text[p] == needle[0] && std::memcmp(text + p, needle, nlen) == 0) {
      return p;
    }
  }
  return -1;
}

int32_t CodePage::CharBoundaryAfter(const char* text, int32_t q,
                                    int32_t nlen) const {
  int32_t p = q;
  const int32_t end = q + nlen;
  while (p < end && text[p] != 0) p += CharLength(text + p);
  return p;
}
