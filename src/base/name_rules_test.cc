#include "base/name_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "base/code_page.h"

namespace {

struct Case {
  const char* text;
  const char* other;
  bool expected;
};

TEST(NameRulesTest, WildcardsMatchTheWholeNameByTheirOwnRules) {
  CodePage cp(kCodePageUtf8);
  const Case cases[] = {
      {"*.txt", "a.txt", true},
      {"*.txt", "notes.txt_backup", false},  // never by a short name
      {"*.htm", "index.html", false},
      {"*.dll", "plugin.dllold", false},
      {"*.DLL", "x.dll", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*.*", "noextension", true},
      {"x.*", "x", true},
      {"*", ".", true},
      {"**a*", "bab", true},
      {"", "a", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardMatch(c.text, c.other, cp), c.expected)
        << c.text << " / " << c.other;
  // Code page 932: the second byte of a double-byte character is never a
  // letter to fold ("ア" 83 41 is not "ヂ" 83 61) nor a separator ("ソ" is
  // 83 5C).
  cp = CodePage(kCodePageShiftJis);
  EXPECT_FALSE(WildcardMatch("\x83\x41*", "\x83\x61.txt", cp));
  EXPECT_TRUE(WildcardMatch("\x83\x41*", "\x83\x41.txt", cp));
  EXPECT_FALSE(HasEmptyComponent("C:\\\x83\x5C\\x", "\\/", true, cp));
  EXPECT_TRUE(HasEmptyComponent("C:\\\x83\x5C\\\\x", "\\/", true, cp));
  EXPECT_EQ(DeviceComponent("C:\\\x83\x5C\\nul", "\\/", cp), "nul");
}

TEST(NameRulesTest, DeviceNamesAsWindowsReadsThem) {
  const CodePage cp(kCodePageUtf8);
  const Case cases[] = {
      {"NUL", "", true},       {"nul.txt", "", true},   {"Com1", "", true},
      {"COM9.log", "", true},  {"lpt1", "", true},      {"aux.tar.gz", "", true},
      {"CON.", "", true},      {"prn  ", "", true},     {"con .txt", "", true},
      {"CONIN$", "", true},    {"conout$.", "", true},  {"COM0", "", false},
      {"COM10", "", false},    {"null", "", false},     {"console", "", false},
      {"a.nul", "", false},    {"conin$.txt", "", false}, {"", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsDeviceName(c.text, cp), c.expected) << c.text;
  EXPECT_EQ(DeviceComponent("C:\\app\\com1.txt", "\\/", cp), "com1.txt");
  EXPECT_EQ(DeviceComponent("C:/app/NUL/x", "\\/", cp), "NUL");
  EXPECT_EQ(DeviceComponent("C:\\app\\nullish", "\\/", cp), "");
}

TEST(NameRulesTest, EmptyComponentsWhereANameBelongs) {
  const CodePage cp(kCodePageUtf8);
  const Case windows[] = {
      {"C:\\data\\\\*", "", true},      {"C:\\data\\\\.", "", true},
      {"C:\\\\data", "", true},         {"C:\\data\\\\*.txt", "", true},
      {"C:\\data/\\x", "", true},       {"\\\\\\server", "", true},
      {"data\\\\x", "", true},          {"C:\\data\\", "", false},
      {"C:\\data\\\\", "", false},      {"\\\\server\\share\\x", "", false},
      {"\\\\?\\C:\\x", "", false},      {"C:\\data\\x", "", false},
      {"", "", false},                  {"\\", "", false},
  };
  for (const Case& c : windows)
    EXPECT_EQ(HasEmptyComponent(c.text, "\\/", true, cp), c.expected) << c.text;
  const Case posix[] = {
      {"/data//*", "", true}, {"//data", "", true}, {"/data/", "", false},
      {"/data//", "", false}, {"/data/x", "", false}, {"data", "", false},
  };
  for (const Case& c : posix)
    EXPECT_EQ(HasEmptyComponent(c.text, "/", false, cp), c.expected) << c.text;
}

}  // namespace
