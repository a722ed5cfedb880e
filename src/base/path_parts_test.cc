#include "base/path_parts.h"

#include <gtest/gtest.h>

#include "base/code_page.h"

TEST(PathPartsTest, SplitsAtTheLastSeparatorOfWholeCharacters) {
  const CodePage utf8(kCodePageUtf8);
  const struct {
    const char* path;
    const char* separators;
    const char* name;
    const char* prefix;
    const char* directory;
    const char* trimmed;
  } cases[] = {
      {"a/b/c.txt", "/", "c.txt", "a/b/", "a/b", "a/b/c.txt"},
      {"c.txt", "/", "c.txt", "", ".", "c.txt"},
      {"/c.txt", "/", "c.txt", "/", "/", "/c.txt"},
      {"a/b/", "/", "", "a/b/", "a/b", "a/b"},
      {"/", "/", "", "/", "/", "/"},
      {"//", "/", "", "//", "/", "/"},
      {"", "/", "", "", ".", ""},
      {"C:\\x\\y", "\\/", "y", "C:\\x\\", "C:\\x", "C:\\x\\y"},
      {"C:/x\\y\\\\", "\\/", "", "C:/x\\y\\\\", "C:/x\\y\\", "C:/x\\y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(NameOf(c.path, c.separators, utf8), c.name);
    EXPECT_EQ(FolderPrefixOf(c.path, c.separators, utf8), c.prefix);
    EXPECT_EQ(DirectoryOf(c.path, c.separators, utf8), c.directory);
    EXPECT_EQ(WithoutTrailingSeparators(c.path, c.separators, utf8), c.trimmed);
  }
  // In code page 932 the trail byte 0x5C of "表" is no separator.
  const CodePage sjis(kCodePageShiftJis);
  EXPECT_EQ(NameOf("d\\\x95\x5C", "\\", sjis), "\x95\x5C");
  EXPECT_EQ(WithoutTrailingSeparators("d\\\x95\x5C", "\\", sjis), "d\\\x95\x5C");
  // The separator before the last name: the first of its run, trailing
  // separators aside; never a trail byte.
  size_t end = 0;
  EXPECT_EQ(SeparatorBeforeName("a//b/", "/", utf8, &end), 1u);
  EXPECT_EQ(end, 4u);
  EXPECT_EQ(SeparatorBeforeName("\x95\x5C\\x", "\\", sjis), 2u);
  EXPECT_EQ(SeparatorBeforeName("name", "/", utf8), std::string::npos);
}
