#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The length DecodeUtf8 gives for the bytes of text, and its code point.
std::pair<size_t, uint32_t> Decode(const std::string& text) {
  uint32_t code = 0xFFFFFFFF;
  const size_t n = DecodeUtf8(
      reinterpret_cast<const unsigned char*>(text.data()), text.size(), code);
  return {n, n == 0 ? 0xFFFFFFFF : code};
}

TEST(Utf8Test, DecodesOnlyWellFormedSequences) {
  using R = std::pair<size_t, uint32_t>;
  EXPECT_EQ(Decode("A"), R(1, 0x41));
  EXPECT_EQ(Decode("\x7F"), R(1, 0x7F));
  EXPECT_EQ(Decode("\xC2\x80"), R(2, 0x80));
  EXPECT_EQ(Decode("\xE3\x82\xBB"), R(3, 0x30BB));
  EXPECT_EQ(Decode("\xF4\x8F\xBF\xBF"), R(4, 0x10FFFF));
  for (const char* broken :
       {"\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF",  // overlong
        "\xED\xA0\x80",                                         // surrogate
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",                 // too large
        "\xE3\x82", "\xE3\x41\x82", "\xFF"}) {
    EXPECT_EQ(Decode(broken).first, 0u) << broken;
  }
  EXPECT_TRUE(IsValidUtf8("", 0));
  EXPECT_TRUE(IsValidUtf8("a\xE3\x82\xBB", 4));
  EXPECT_FALSE(IsValidUtf8("a\xE3\x82\xBB", 3));  // cut by the size
}

}  // namespace
