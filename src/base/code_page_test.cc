#include "base/code_page.h"

#include <gtest/gtest.h>

#include "base/str_buf.h"

namespace {

class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = AnsiCodePage(); }
  void TearDown() override { SetAnsiCodePage(saved_); }

 private:
  unsigned saved_ = kCodePageUtf8;
};

TEST_F(CodePageTest, ShiftJisLeadBytes) {
  SetAnsiCodePage(kCodePageShiftJis);
  EXPECT_EQ(AnsiCodePage(), kCodePageShiftJis);
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0x9F));
  EXPECT_TRUE(IsLeadByte(0xE0));
  EXPECT_TRUE(IsLeadByte(0xFC));
  EXPECT_FALSE(IsLeadByte(0x80));
  EXPECT_FALSE(IsLeadByte(0xA0));
  EXPECT_FALSE(IsLeadByte(0xB1));  // half-width katakana
  EXPECT_FALSE(IsLeadByte(0xFD));
  EXPECT_EQ(CharLength("\x95\x5C"), 2);
  EXPECT_EQ(CharLength("\x95"), 1);  // never over the terminator
  EXPECT_EQ(CharLength("\xB1\x5C"), 1);
  EXPECT_EQ(CharLength(""), 1);
}

TEST_F(CodePageTest, OtherDoubleByteCodePages) {
  for (unsigned cp : {936u, 949u, 950u}) {
    SetAnsiCodePage(cp);
    EXPECT_EQ(CharLength("\x81\x40"), 2) << cp;
    EXPECT_EQ(CharLength("\xFE\x5C"), 2) << cp;
    EXPECT_EQ(CharLength("\x80\x40"), 1) << cp;
    EXPECT_EQ(CharLength("\xFF\x40"), 1) << cp;
  }
  SetAnsiCodePage(1252);
  EXPECT_FALSE(IsLeadByte(0x81));
  EXPECT_EQ(CharLength("\x81\x40"), 1);
}

TEST_F(CodePageTest, Utf8Sequences) {
  SetAnsiCodePage(kCodePageUtf8);
  EXPECT_EQ(CharLength("a"), 1);
  EXPECT_EQ(CharLength("\xC3\xA4"), 2);
  EXPECT_EQ(CharLength("\xE3\x81\x82"), 3);
  EXPECT_EQ(CharLength("\xF0\x9F\x98\x80"), 4);
  EXPECT_FALSE(IsLeadByte(0xC1));
  EXPECT_FALSE(IsLeadByte(0xF5));
  EXPECT_FALSE(IsLeadByte(0x80));
  // Cut or broken sequences count byte by byte, so what follows is seen.
  EXPECT_EQ(CharLength("\xE3\x81"), 1);
  EXPECT_EQ(CharLength("\xE3\\x"), 1);
  EXPECT_EQ(CharLength("\xF0\x9F\x98"), 1);
}

}  // namespace

// Only whole single-byte characters fold: a trail byte that looks like a
// letter is compared as it is.
TEST_F(CodePageTest, CaseFoldsWholeAsciiCharactersOnly) {
  SetAnsiCodePage(kCodePageShiftJis);
  const char a[] = "\x83\x41" "x";  // "ア" then x
  const char d[] = "\x83\x61" "X";  // "ヂ" then X
  EXPECT_FALSE(SameIgnoringAsciiCase(a, d, 3));
  EXPECT_TRUE(SameIgnoringAsciiCase("\x83\x41X", a, 3));
  EXPECT_NE(FoldAsciiCase(a), FoldAsciiCase(d));
  EXPECT_EQ(FoldAsciiCase("AB\x83\x41"), "ab\x83\x41");
  EXPECT_FALSE(StrBuf(a).Equals(d));
  SetAnsiCodePage(kCodePageUtf8);
  EXPECT_TRUE(SameIgnoringAsciiCase("Setup.EXE", "setup.exe", 9));
  EXPECT_TRUE(StrBuf("\xe3\x82\xa2" "A").Equals("\xe3\x82\xa2" "a"));
}
