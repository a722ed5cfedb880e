#include "base/code_page.h"

#include <cstring>

namespace {

// Set once at start-up; tests change it at will.
unsigned g_code_page = kCodePageUtf8;

bool IsUtf8Continuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

}  // namespace

void SetAnsiCodePage(unsigned codePage) { g_code_page = codePage; }

unsigned AnsiCodePage() { return g_code_page; }

bool IsLeadByte(unsigned char b) {
  switch (g_code_page) {
    case kCodePageShiftJis:
      return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:  // simplified Chinese
    case 949:  // Korean
    case 950:  // traditional Chinese
      return b >= 0x81 && b <= 0xFE;
    case kCodePageUtf8:
      return b >= 0xC2 && b <= 0xF4;
    default:
      return false;
  }
}

int CharLength(const char* p) {
  const unsigned char b = static_cast<unsigned char>(p[0]);
  if (b == 0 || !IsLeadByte(b)) return 1;
  if (g_code_page != kCodePageUtf8) {
    // Double-byte code page: any byte but the terminator is a trail byte.
    return p[1] != 0 ? 2 : 1;
  }
  // UTF-8: the lead byte's high bits give the length. A sequence that is
  // cut short or broken counts as one byte, so the byte after it (which may
  // be a separator) is still seen.
  const int n = b >= 0xF0 ? 4 : (b >= 0xE0 ? 3 : 2);
  for (int i = 1; i < n; ++i) {
    if (!IsUtf8Continuation(static_cast<unsigned char>(p[i]))) return 1;
  }
  return n;
}

bool SameIgnoringAsciiCase(const char* a, const char* b, size_t n) {
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

std::string FoldAsciiCase(const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    const size_t length = static_cast<size_t>(CharLength(out.c_str() + i));
    if (length == 1) out[i] = FoldAsciiLetter(out[i]);
    i += length;
  }
  return out;
}

int32_t FindAtCharBoundary(const char* text, int32_t len, int32_t start,
                           const char* needle, int32_t nlen) {
  if (nlen <= 0) return -1;
  for (int32_t p = start; p < len && len - p >= nlen;
       p += CharLength(text + p)) {
    if (text[p] == needle[0] && std::memcmp(text + p, needle, nlen) == 0) {
      return p;
    }
  }
  return -1;
}

int32_t CharBoundaryAfter(const char* text, int32_t q, int32_t nlen) {
  int32_t p = q;
  const int32_t end = q + nlen;
  while (p < end && text[p] != 0) p += CharLength(text + p);
  return p;
}
