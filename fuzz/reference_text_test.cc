#include "reference_text.h"

#include <gtest/gtest.h>

#include <string>

#include "base/code_page.h"
#include "base/utf8_test_fixture.h"

namespace {

using reference::Block;
using reference::BlockCount;
using reference::Blocks;
using reference::ReplaceBlock;
using reference::ReplaceChars;
using reference::ReplaceSpan;
using reference::ReplaceWord;
using reference::ReplaceWords;
using reference::Substring;
using reference::Words;

using ReferenceTextTest = Utf8CodePageTest;

std::string S(const StrBuf& s) { return s.Text(); }

TEST_F(ReferenceTextTest, PositionsOutsideTheTextAreHarmless) {
  StrBuf s("abcdef");
  EXPECT_EQ(S(Substring(s, -1)), "f");
  EXPECT_EQ(S(Substring(s, 1, -2)), "bcde");
  EXPECT_EQ(S(Substring(StrBuf(), -1)), "");

  StrBuf t("abcdef");
  ReplaceSpan(t, 2, 1, "XY");  // empty range: inserts
  EXPECT_EQ(S(t), "abXYcdef");
  ReplaceSpan(t, 0, t.Length() - 1, "new");
  EXPECT_EQ(S(t), "new");
  ReplaceSpan(t, -10, 100, "all");
  EXPECT_EQ(S(t), "all");
  ReplaceSpan(t, 5, 1, "!");  // range that ends before it starts
  EXPECT_EQ(S(t), "all!");
  ReplaceChars(t, -1, "?");
  EXPECT_EQ(S(t), "all?");
  StrBuf e;
  ReplaceChars(e, -1, "x");
  EXPECT_EQ(S(e), "");
}

TEST_F(ReferenceTextTest, WordRanges) {
  StrBuf line("\"C:\\Program Files\\App\\setup.exe\" /q /tMy");
  // A range of several words keeps its quotes.
  EXPECT_EQ(S(Words(line, 0, 1, cp)),
            "\"C:\\Program Files\\App\\setup.exe\" /q");
  EXPECT_EQ(S(Words(line, 1, -1, cp)), "/q /tMy");
  EXPECT_EQ(S(Words(line, 2, 1, cp)), "");
  EXPECT_EQ(S(Words(line, 0, 0, cp)), S(line.Word(0, cp)));

  StrBuf s("a b c");
  ReplaceWord(s, 1, "x y", cp);
  EXPECT_EQ(S(s), "a x y c");
  ReplaceWord(s, 9, "z", cp);
  EXPECT_EQ(S(s), "a x y c");
  ReplaceWords(s, -2, -1, "end", cp);
  EXPECT_EQ(S(s), "a x end");
  StrBuf q("p \"q r\" s");
  ReplaceWord(q, 1, "Q", cp);  // the quotes around a single word stay
  EXPECT_EQ(S(q), "p \"Q\" s");
}

TEST_F(ReferenceTextTest, Blocks) {
  StrBuf simple("a<b>c");
  EXPECT_EQ(BlockCount(simple, "<", ">", cp), 1);
  EXPECT_EQ(S(Block(simple, 0, "<", ">", cp)), "<b>");
  StrBuf nested("<a<b>c>");
  EXPECT_EQ(BlockCount(nested, "<", ">", cp), 1);
  EXPECT_EQ(S(Block(nested, 0, "<", ">", cp)), "<a<b>c>");
  // A block whose closing delimiter is missing runs to the end; an opening
  // delimiter with no closing one anywhere after it is no step at all.
  EXPECT_EQ(S(Block(StrBuf("x{a{b}c"), 0, "{", "}", cp)), "{a{b}c");
  EXPECT_EQ(BlockCount(StrBuf("x{a{b}c"), "{", "}", cp), 0);
  EXPECT_EQ(S(Block(StrBuf("x{abc"), 0, "{", "}", cp)), "");
  StrBuf two("<a>x<b<c>>y");
  EXPECT_EQ(BlockCount(two, "<", ">", cp), 2);
  EXPECT_EQ(S(Block(two, 1, "<", ">", cp)), "<b<c>>");
  EXPECT_EQ(S(Block(two, -2, "<", ">", cp)), "<a>");
  EXPECT_EQ(S(Blocks(two, 0, 1, "<", ">", cp)), "<a>x<b<c>>");
  EXPECT_EQ(S(Block(two, 2, "<", ">", cp)), "");
  ReplaceBlock(two, 1, "<", ">", "B", cp);
  EXPECT_EQ(S(two), "<a>xBy");
  StrBuf words("{{x}} and {{y}}");
  EXPECT_EQ(BlockCount(words, "{{", "}}", cp), 2);
  EXPECT_EQ(S(Block(words, -1, "{{", "}}", cp)), "{{y}}");
  // Empty delimiters find nothing.
  EXPECT_EQ(BlockCount(words, "", "}}", cp), 0);
  EXPECT_EQ(S(Block(words, 0, "{{", "", cp)), "");
}

TEST_F(ReferenceTextTest, StrayCloseSpoilsLaterBlocks) {
  EXPECT_EQ(BlockCount(StrBuf("<x>"), "<", ">", cp), 1);
  StrBuf stray("a>b<x>");
  EXPECT_EQ(BlockCount(stray, "<", ">", cp), 0);
  EXPECT_EQ(S(Block(stray, -1, "<", ">", cp)), "");
  ReplaceBlock(stray, -1, "<", ">", "Z", cp);
  EXPECT_EQ(S(stray), "a>b<x>");
}

TEST_F(ReferenceTextTest, ShiftJisTrailBytesAreNoDelimiters) {
  cp = CodePage(kCodePageShiftJis);
  StrBuf block("\x83<\x83>x<y>");  // trail bytes '<' and '>'
  EXPECT_EQ(BlockCount(block, "<", ">", cp), 1);
  EXPECT_EQ(S(Block(block, 0, "<", ">", cp)), "<y>");
  // An opening delimiter that is only the lead byte of a double-byte
  // character still starts the block at itself, not at the boundary after
  // the character it began.
  StrBuf s("a\xEF\x5C+\xFF&b");
  ASSERT_EQ(BlockCount(s, "\xEF", "\xFF&", cp), 1);
  EXPECT_EQ(S(Block(s, 0, "\xEF", "\xFF&", cp)), "\xEF\x5C+\xFF&");
  ReplaceBlock(s, 0, "\xEF", "\xFF&", "X", cp);
  EXPECT_EQ(S(s), "aXb");
}

}  // namespace
