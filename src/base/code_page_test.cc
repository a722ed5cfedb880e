#include "base/code_page.h"

#include <gtest/gtest.h>

#include "base/str_buf.h"

namespace {

TEST(CodePageTest, ShiftJisLeadBytes) {
  const CodePage cp(kCodePageShiftJis);
  EXPECT_EQ(cp.Id(), kCodePageShiftJis);
  EXPECT_TRUE(cp.IsLeadByte(0x81));
  EXPECT_TRUE(cp.IsLeadByte(0x9F));
  EXPECT_TRUE(cp.IsLeadByte(0xE0));
  EXPECT_TRUE(cp.IsLeadByte(0xFC));
  EXPECT_FALSE(cp.IsLeadByte(0x80));
  EXPECT_FALSE(cp.IsLeadByte(0xA0));
  EXPECT_FALSE(cp.IsLeadByte(0xB1));  // half-width katakana
  EXPECT_FALSE(cp.IsLeadByte(0xFD));
  EXPECT_EQ(cp.CharLength("\x95\x5C"), 2);
  EXPECT_EQ(cp.CharLength("\x95"), 1);  // never over the terminator
  EXPECT_EQ(cp.CharLength("\xB1\x5C"), 1);
  EXPECT_EQ(cp.CharLength(""), 1);
}

TEST(CodePageTest, OtherDoubleByteCodePages) {
  for (unsigned id : {936u, 949u, 950u}) {
    const CodePage cp(id);
    EXPECT_EQ(cp.CharLength("\x81\x40"), 2) << id;
    EXPECT_EQ(cp.CharLength("\xFE\x5C"), 2) << id;
    EXPECT_EQ(cp.CharLength("\x80\x40"), 1) << id;
    EXPECT_EQ(cp.CharLength("\xFF\x40"), 1) << id;
  }
  const CodePage cp(1252);
  EXPECT_FALSE(cp.IsLeadByte(0x81));
  EXPECT_EQ(cp.CharLength("\x81\x40"), 1);
}

TEST(CodePageTest, Utf8Sequences) {
  const CodePage cp(kCodePageUtf8);
  EXPECT_EQ(cp.CharLength("a"), 1);
  EXPECT_EQ(cp.CharLength("\xC3\xA4"), 2);
  EXPECT_EQ(cp.CharLength("\xE3\x81\x82"), 3);
  EXPECT_EQ(cp.CharLength("\xF0\x9F\x98\x80"), 4);
  EXPECT_FALSE(cp.IsLeadByte(0xC1));
  EXPECT_FALSE(cp.IsLeadByte(0xF5));
  EXPECT_FALSE(cp.IsLeadByte(0x80));
  // Cut or broken sequences count byte by byte, so what follows is seen.
  EXPECT_EQ(cp.CharLength("\xE3\x81"), 1);
  EXPECT_EQ(cp.CharLength("\xE3\\x"), 1);
  EXPECT_EQ(cp.CharLength("\xF0\x9F\x98"), 1);
}

}  // namespace

// Only whole single-byte characters fold: a trail byte that looks like a
// letter is compared as it is.
TEST(CodePageTest, CaseFoldsWholeAsciiCharactersOnly) {
  CodePage cp(kCodePageShiftJis);
  const char a[] = "\x83\x41" "x";  // "ア" then x
  const char d[] = "\x83\x61" "X";  // "ヂ" then X
  EXPECT_FALSE(cp.SameIgnoringAsciiCase(a, d, 3));
  EXPECT_TRUE(cp.SameIgnoringAsciiCase("\x83\x41X", a, 3));
  EXPECT_NE(cp.FoldAsciiCase(a), cp.FoldAsciiCase(d));
  EXPECT_EQ(cp.FoldAsciiCase("AB\x83\x41"), "ab\x83\x41");
  EXPECT_FALSE(StrBuf(a).Equals(d, cp));
  cp = CodePage(kCodePageUtf8);
  EXPECT_TRUE(cp.SameIgnoringAsciiCase("Setup.EXE", "setup.exe", 9));
  EXPECT_TRUE(StrBuf("\xe3\x82\xa2"
                     "A")
                  .Equals("\xe3\x82\xa2"
                          "a",
                          cp));
}
