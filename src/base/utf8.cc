#include "base/utf8.h"

size_t DecodeUtf8(const unsigned char* p, size_t n, uint32_t& code) {
  const unsigned char b = p[0];
  if (b < 0x80) {
    code = b;
    return 1;
  }
  size_t length;
  uint32_t minimum;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    minimum = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    minimum = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (n < length) return 0;
  uint32_t value = b & (0xFFu >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (p[i] & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  code = value;
  return length;
}

bool IsValidUtf8(const char* bytes, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  uint32_t code;
  for (size_t i = 0; i < size;) {
    const size_t length = DecodeUtf8(p + i, size - i, code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}
