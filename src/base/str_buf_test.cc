#include "base/str_buf.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <string>

#include "base/code_page.h"
#include "base/utf8_test_fixture.h"

namespace {

using StrBufTest = Utf8CodePageTest;

std::string S(const StrBuf& s) { return s.Text(); }

TEST_F(StrBufTest, StorageKeepsOwnTextSafe) {
  StrBuf s("abc");
  s.Append(s);
  EXPECT_EQ(S(s), "abcabc");
  EXPECT_TRUE(s.SetText(s.PointerAt(3)));  // a text inside the own buffer
  EXPECT_EQ(S(s), "abc");
  s = s;
  EXPECT_EQ(S(s), "abc");

  StrBuf moved(std::move(s));
  EXPECT_EQ(S(moved), "abc");
  EXPECT_STREQ(s.Text(), "");  // NOLINT: a moved-from string is empty
  EXPECT_EQ(S(moved.Concat("d").Concat(StrBuf("e"))), "abcde");
  EXPECT_EQ(S(moved), "abc");

  StrBuf none(nullptr);
  EXPECT_STREQ(none.Text(), "");
  none.Free();
  EXPECT_STREQ(none.Text(), "");
  EXPECT_EQ(none.Length(), 0);
}

TEST_F(StrBufTest, AllocateGivesZeroedBufferForPlatformCalls) {
  StrBuf s("old text");
  ASSERT_TRUE(s.Allocate(64));
  EXPECT_EQ(s.Length(), 0);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(s.Buffer()[i], 0);
  std::memcpy(s.Buffer(), "filled", 6);
  s.Compact();
  EXPECT_EQ(S(s), "filled");
}

TEST_F(StrBufTest, PositionsOutsideTheTextAreHarmless) {
  StrBuf s("abcdef");
  EXPECT_EQ(s.CharAt(-1), 0);
  EXPECT_EQ(s.CharAt(6), 0);
  EXPECT_STREQ(s.PointerAt(100), "");
  EXPECT_STREQ(s.PointerAt(-3), "abcdef");
  EXPECT_EQ(S(s.Extract(-5, 100)), "abcdef");
  EXPECT_EQ(S(s.Extract(3, 2)), "");
}

TEST_F(StrBufTest, WordsOfCommandLine) {
  StrBuf line("\"C:\\Program Files\\App\\setup.exe\" /q /tMy");
  EXPECT_EQ(line.WordCount(cp), 3);
  EXPECT_EQ(S(line.Word(0, cp)), "C:\\Program Files\\App\\setup.exe");
  EXPECT_EQ(S(line.Word(1, cp)), "/q");
  EXPECT_EQ(S(line.Word(-1, cp)), "/tMy");
  EXPECT_EQ(S(line.Word(3, cp)), "");
  EXPECT_EQ(S(line.Word(-4, cp)), "");
}

TEST_F(StrBufTest, WordCountingRules) {
  EXPECT_EQ(StrBuf("").WordCount(cp), 0);
  EXPECT_EQ(StrBuf(" ").WordCount(cp), 2);
  StrBuf two_spaces("a  b");
  EXPECT_EQ(two_spaces.WordCount(cp), 3);
  EXPECT_EQ(S(two_spaces.Word(1, cp)), "");
  EXPECT_EQ(S(two_spaces.Word(2, cp)), "b");
  StrBuf quoted("a \"b c\" d");
  EXPECT_EQ(quoted.WordCount(cp), 3);
  EXPECT_EQ(S(quoted.Word(1, cp)), "b c");
  EXPECT_EQ(S(quoted.Word(2, cp)), "d");
  EXPECT_EQ(S(StrBuf("\"").Word(0, cp)), "");
  EXPECT_EQ(S(StrBuf("x \"").Word(1, cp)), "");
  // An unclosed quote keeps the rest in one word.
  EXPECT_EQ(StrBuf("a \"b c d").WordCount(cp), 2);
  EXPECT_EQ(S(StrBuf("").Word(-1, cp)), "");
}

TEST_F(StrBufTest, FieldsOfPath) {
  StrBuf path("C:\\DIR\\APP.EXE");
  EXPECT_EQ(path.FieldCount("\\", cp), 3);
  EXPECT_EQ(S(path.Field(0, "\\", cp)), "C:");
  EXPECT_EQ(S(path.Field(-1, "\\", cp)), "APP.EXE");
  EXPECT_EQ(S(path.Fields(0, -2, "\\", cp)), "C:\\DIR");
  EXPECT_EQ(S(path.Fields(1, 2, "\\", cp)), "DIR\\APP.EXE");
  EXPECT_EQ(S(path.Field(3, "\\", cp)), "");
  EXPECT_EQ(S(path.Field(-4, "\\", cp)), "");
  EXPECT_EQ(S(StrBuf("APP.EXE").Fields(0, -2, "\\", cp)), "APP.EXE");
  path.ReplaceFields(-1, -1, ".", "ini", cp);
  EXPECT_EQ(S(path), "C:\\DIR\\APP.ini");
}

TEST_F(StrBufTest, FieldCountingRules) {
  EXPECT_EQ(StrBuf("").FieldCount(",", cp), 0);
  EXPECT_EQ(StrBuf(",").FieldCount(",", cp), 2);
  EXPECT_EQ(StrBuf("a,").FieldCount(",", cp), 2);
  EXPECT_EQ(S(StrBuf("a,").Field(1, ",", cp)), "");
  EXPECT_EQ(S(StrBuf("abc").Field(0, ",", cp)), "abc");
  EXPECT_EQ(S(StrBuf("abc").Field(1, ",", cp)), "");
  EXPECT_EQ(S(StrBuf("a,b").Fields(0, -5, ",", cp)), "a");
  // Occurrences do not overlap.
  StrBuf colons("a:::b");
  EXPECT_EQ(colons.FieldCount("::", cp), 2);
  EXPECT_EQ(S(colons.Field(1, "::", cp)), ":b");
  StrBuf table("A=1\nB=2\nC=3");
  EXPECT_EQ(S(table.Field(1, "\n", cp)), "B=2");
}

TEST_F(StrBufTest, ReplaceFields) {
  StrBuf line("k=old");
  line.ReplaceFields(1, 1, "=", "v", cp);
  EXPECT_EQ(S(line), "k=v");
  StrBuf two("k=a=b");
  two.ReplaceField(1, "=", "v", cp);
  EXPECT_EQ(S(two), "k=v=b");
  StrBuf gap("a,,c");
  gap.ReplaceField(1, ",", "b", cp);
  EXPECT_EQ(S(gap), "a,b,c");
  gap.ReplaceField(7, ",", "x", cp);
  EXPECT_EQ(S(gap), "a,b,c");
}

TEST_F(StrBufTest, EmptySearchTextsChangeNothing) {
  StrBuf s("abc");
  EXPECT_EQ(s.CountOf("", cp), 0);
  EXPECT_FALSE(s.Contains("", cp));
  EXPECT_TRUE(s.StartsWith("", cp));
  EXPECT_FALSE(s.ReplaceAll("", "x", cp));
  EXPECT_EQ(s.FieldCount("", cp), 1);
  EXPECT_EQ(S(s.Field(0, "", cp)), "abc");
  s.Trim("", "", cp);
  EXPECT_EQ(S(s), "abc");
}

TEST_F(StrBufTest, Trim) {
  StrBuf spaces("    ");
  spaces.Trim(" ", cp);
  EXPECT_EQ(S(spaces), "");
  StrBuf item("  a b  ");
  item.Trim(" ", " ", cp);
  EXPECT_EQ(S(item), "a b");
  StrBuf dir("C:\\dir\\\\\\");
  dir.Trim("", "\\", cp);
  EXPECT_EQ(S(dir), "C:\\dir");
  StrBuf query("{?App\\x}");
  query.Trim("{", "}", cp);
  EXPECT_EQ(S(query), "?App\\x");
  StrBuf folded("abABaBX");
  folded.Trim("ab", "", cp);
  EXPECT_EQ(S(folded), "X");
  StrBuf pairs("x;;;");
  pairs.Trim("", ";;", cp);
  EXPECT_EQ(S(pairs), "x;");
  StrBuf both("aa");
  both.Trim("a", "a", cp);  // the end never passes the start
  EXPECT_EQ(S(both), "");
  StrBuf short_text("ab");
  short_text.Trim("abc", "abc", cp);
  EXPECT_EQ(S(short_text), "ab");
}

TEST_F(StrBufTest, ReplaceAll) {
  StrBuf s("a%nb%n");
  EXPECT_TRUE(s.ReplaceAll("%n", "\n", cp));
  EXPECT_EQ(S(s), "a\nb\n");
  StrBuf none("abc");
  EXPECT_FALSE(none.ReplaceAll("%n", "\n", cp));
  EXPECT_EQ(S(none), "abc");
  // The search starts again from the beginning after each replacement.
  StrBuf again("aaab");
  EXPECT_TRUE(again.ReplaceAll("ab", "b", cp));
  EXPECT_EQ(S(again), "b");
  // A replacement holding the search text replaces each original once.
  StrBuf grows("x.y.z");
  EXPECT_TRUE(grows.ReplaceAll(".", "..", cp));
  EXPECT_EQ(S(grows), "x..y..z");
  StrBuf removed("a--b--");
  EXPECT_TRUE(removed.ReplaceAll("-", "", cp));
  EXPECT_EQ(S(removed), "ab");
}

TEST_F(StrBufTest, EqualsFoldsAsciiOnly) {
  EXPECT_TRUE(StrBuf("Copy").Equals("COPY", cp));
  EXPECT_TRUE(StrBuf("msgbox").Equals(StrBuf("MsgBox"), cp));
  EXPECT_FALSE(StrBuf("abc").Equals("abcd", cp));
  EXPECT_FALSE(StrBuf("abcd").Equals("abc", cp));
  EXPECT_FALSE(StrBuf("[").Equals("{", cp));
  EXPECT_FALSE(StrBuf("@").Equals("`", cp));
  EXPECT_FALSE(StrBuf("\xC3\xA4").Equals("\xC3\x84", cp));  // no folding of ä/Ä
  EXPECT_TRUE(StrBuf("").Equals(nullptr, cp));
  EXPECT_TRUE(StrBuf("A").NotEquals("B", cp));
}

TEST_F(StrBufTest, Searching) {
  StrBuf s("a,b,,c");
  EXPECT_EQ(s.CountOf(",", cp), 3);
  EXPECT_EQ(s.CountOf(",,", cp), 1);
  EXPECT_EQ(StrBuf("aaaa").CountOf("aa", cp), 2);
  EXPECT_TRUE(s.Contains("b,", cp));
  EXPECT_FALSE(s.Contains("B", cp));  // search is exact
  EXPECT_TRUE(s.StartsWith("a,", cp));
  EXPECT_FALSE(s.StartsWith("b", cp));
}

TEST_F(StrBufTest, NumbersReadLikeScanf) {
  EXPECT_EQ(StrBuf("12abc").ToInt(), 12);
  EXPECT_EQ(StrBuf("abc").ToInt(), 0);
  EXPECT_EQ(StrBuf("").ToInt(), 0);
  EXPECT_EQ(StrBuf(" \t-42").ToInt(), -42);
  EXPECT_EQ(StrBuf("+7").ToInt(), 7);
  EXPECT_EQ(StrBuf("- 7").ToInt(), 0);
  EXPECT_EQ(StrBuf("-2147483648").ToInt(), INT32_MIN);
  EXPECT_EQ(StrBuf("2147483647").ToInt(), INT32_MAX);
  // Out of range: wraps modulo 2^32.
  EXPECT_EQ(StrBuf("2147483648").ToInt(), INT32_MIN);
  EXPECT_EQ(StrBuf("4294967297").ToInt(), 1);

  EXPECT_EQ(StrBuf("1a").ToHex(), 26u);
  EXPECT_EQ(StrBuf("0x1A").ToHex(), 26u);
  EXPECT_EQ(StrBuf(" 0XfFz").ToHex(), 255u);
  EXPECT_EQ(StrBuf("FFFFFFFF").ToHex(), 0xFFFFFFFFu);
  EXPECT_EQ(StrBuf("-1").ToHex(), 0xFFFFFFFFu);
  EXPECT_EQ(StrBuf("0x").ToHex(), 0u);
  EXPECT_EQ(StrBuf("g1").ToHex(), 0u);
  EXPECT_EQ(StrBuf("123456789").ToHex(), 0x23456789u);
}

TEST_F(StrBufTest, FormatIsBounded) {
  StrBuf s;
  s.Format(cp, "%s=%d", "key", 5);
  EXPECT_EQ(S(s), "key=5");
  s.Format(cp, "attr 0x%08X", 0x2Au);
  EXPECT_EQ(S(s), "attr 0x0000002A");
  const std::string big(5000, 'x');
  s.Format(cp, "%s", big.c_str());
  EXPECT_EQ(s.Length(), 1023);
  EXPECT_EQ(S(s), big.substr(0, 1023));
  s.Format(cp, "%s", "");
  EXPECT_EQ(S(s), "");
}

TEST_F(StrBufTest, FormatCutKeepsDoubleByteCharactersWhole) {
  cp = CodePage(kCodePageShiftJis);
  // 1022 bytes, then a double-byte character straddling the limit.
  const std::string text = std::string(1022, 'a') + "\x95\x5C" + "tail";
  StrBuf s;
  s.Format(cp, "%s", text.c_str());
  EXPECT_EQ(S(s), std::string(1022, 'a'));
  cp = CodePage(kCodePageUtf8);
  const std::string utf8 = std::string(1021, 'a') + "\xE3\x81\x82";
  s.Format(cp, "%s", utf8.c_str());
  EXPECT_EQ(S(s), std::string(1021, 'a'));
}

// Shift-JIS characters whose trail byte is a backslash: 0x95 0x5C and
// 0x83 0x5C.
TEST_F(StrBufTest, ShiftJisTrailByteIsNeverASeparator) {
  cp = CodePage(kCodePageShiftJis);
  StrBuf path("C:\\\x95\x5C\\\x83\x5C.txt");
  EXPECT_EQ(path.FieldCount("\\", cp), 3);
  EXPECT_EQ(S(path.Field(1, "\\", cp)), "\x95\x5C");
  EXPECT_EQ(S(path.Field(-1, "\\", cp)), "\x83\x5C.txt");
  EXPECT_EQ(path.CountOf("\\", cp), 2);
  EXPECT_FALSE(StrBuf("\x95\x5C").Contains("\\", cp));
  EXPECT_TRUE(path.ReplaceAll("\\", "/", cp));
  EXPECT_EQ(S(path), "C:/\x95\x5C/\x83\x5C.txt");
  StrBuf only("\x83\x5C");
  EXPECT_FALSE(only.ReplaceAll("\\", "/", cp));
  // The same bytes in UTF-8 are single bytes: the backslash counts.
  cp = CodePage(kCodePageUtf8);
  EXPECT_EQ(StrBuf("C:\\\x95\x5C\\x").FieldCount("\\", cp), 4);
}

TEST_F(StrBufTest, ShiftJisTrimTakesTrailByte) {
  cp = CodePage(kCodePageShiftJis);
  StrBuf s("ab\x83\x5C");
  s.Trim("", "\\", cp);
  EXPECT_EQ(S(s), "ab\x83");
}

// AddressSanitizer's allocator stops the program when memory runs out, so
// this needs a build without it.
#if !defined(__SANITIZE_ADDRESS__)
// When memory runs out, SetText says so and Assign and Append throw; the
// text stays as it was. The child process limits its address space to a
// little more than it uses and then asks for 64 MiB copies.
TEST(StrBufDeathTest, SetTextKeepsTheTextWhenMemoryRunsOut) {
  const std::string big(64u << 20, 'x');
  EXPECT_EXIT(
      {
        StrBuf text("kept");
        unsigned long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = static_cast<rlim_t>(pages) *
                             static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                         (16u << 20);
        if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
        const bool set = text.SetText(big.c_str());
        int thrown = 0;
        for (int i = 0; i < 2; ++i) {
          try {
            if (i == 0) text.Assign(big.c_str());
            else text.Append(big.c_str());
          } catch (const std::bad_alloc&) {
            ++thrown;
          }
        }
        std::_Exit(!set && thrown == 2 && std::strcmp(text.Text(), "kept") == 0
                       ? 0
                       : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
