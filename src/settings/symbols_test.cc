#include "settings/symbols.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/code_page.h"
#include "fuzz/reference_text.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "platform/system_info_forwarder.h"
#include "run/runtime.h"
#include "settings/settings_reader.h"

namespace {

class SymbolsTest : public ::testing::Test {
 protected:
  SymbolsTest() : rt(platform) {
    rt.SettingsPath.Assign((dir / "setup.ini").c_str());
    rt.ModulePath.Assign((dir / "setup").c_str());
  }
  ~SymbolsTest() override {}

  // Writes the settings file and builds the table from it.
  void Load(const std::string& settings) {
    dir.Write("setup.ini", settings);
    ASSERT_TRUE(LoadSymbols(rt));
  }
  std::string Lookup(const char* name) {
    StrBuf out("(none)");
    LookupSymbol(rt, name, out);
    return out.Text();
  }
  std::string Symbols(const std::string& text) {
    StrBuf value(text.c_str());
    ExpandSymbols(rt, value);
    return value.Text();
  }
  std::string Queries(const std::string& text) {
    StrBuf value(text.c_str());
    ExpandQueries(rt, value);
    return value.Text();
  }
  std::string Collapse(const std::string& text) {
    StrBuf value(text.c_str());
    CollapseDotDot(rt, value);
    return value.Text();
  }
  std::string Setting(const char* key) {
    StrBuf out;
    EXPECT_TRUE(GetSettingString(rt, "P", key, out, "P_INFO"));
    return out.Text();
  }

  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(SymbolsTest, DefineLinesAndBuiltInFolders) {
  platform.folders = {{0x19, "/common/desktop"}, {0x17, "/common/programs"}};
  Load("[DEFINE]\n;<Gone>=x\n<A>=x=y\n<NoValue>\n<a>=second\n<win>=mine\n"
       "Win=plain\n");
  EXPECT_EQ(Lookup("<Gone>"), "(none)");
  EXPECT_EQ(Lookup("<A>"), "x");  // the value ends at the next "="
  EXPECT_EQ(Lookup("<NoValue>"), "");
  EXPECT_EQ(Lookup("<a>"), "x");  // names ignore case; the first one wins
  EXPECT_EQ(Lookup("Win"), "plain");
  // A DEFINE entry named like a built-in folder is overwritten.
  StrBuf windows;
  if (!platform.WindowsDirectory(windows)) windows.Assign("");
  EXPECT_EQ(Lookup("<WIN>"), windows.Text());
  EXPECT_EQ(Lookup("<Src>"), dir.path());
  EXPECT_EQ(Lookup("<Desktop>"), "/common/desktop");
  EXPECT_EQ(Lookup("<Programs>"), "/common/programs");
  StrBuf temp;
  ASSERT_TRUE(platform.TempPath(temp));
  EXPECT_EQ(Lookup("<Temp>") + "/", temp.Text());
}

// A DEFINE section that cannot be held is never read as an empty one:
// message 3 names it and the start stops.
TEST(SymbolsMemory, DefineWithoutMemoryGivesMessage3) {
  struct FailingConversion : SystemInfoForwarder {
    using SystemInfoForwarder::SystemInfoForwarder;
    std::string Utf8ToAnsi(const char*) const override {
      throw std::bad_alloc();
    }
  };
  TestDir dir;
  dir.Write("setup.ini", "\xEF\xBB\xBF[DEFINE]\n<A>=1\n");
  FakePlatform platform;
  FailingConversion system(platform);
  Platform run(platform, platform, platform, system);
  Runtime rt(run);
  rt.SettingsPath.Assign((dir / "setup.ini").c_str());
  EXPECT_FALSE(LoadSymbols(rt));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("\"DEFINE\""), std::string::npos);
}

TEST_F(SymbolsTest, FoldersOfTheOtherPlatformFamilyAndMissingFolders) {
  platform.nt = false;
  platform.folders = {{0x10, "/user/desktop"}};
  platform.failFolders = true;
  Load("");
  EXPECT_EQ(Lookup("<Desktop>"), "/user/desktop");
  // A folder that cannot be had is empty, not the previous symbol's text.
  EXPECT_EQ(Lookup("<Programs>"), "");
  // A program in the root directory.
  rt.ModulePath.Assign("C:\\setup.exe");
  platform.separator = "\\";
  Load("");
  EXPECT_EQ(Lookup("<Src>"), "C:");
}

TEST_F(SymbolsTest, SymbolReferences) {
  // <A> takes <B> as written, since <B> comes later; the cycle ends.
  Load("[DEFINE]\n<A>=<B>\n<B>=b\n<Dir>=d\n<C1>=<C2>\n<C2>=<C1>\n");
  EXPECT_EQ(Lookup("<A>"), "b");
  EXPECT_EQ(Symbols("<C1><C2>"), "<C1><C2>");
  DefineSymbol(rt, "<A>", StrBuf("<B>"));
  EXPECT_EQ(Symbols("x<dir>y<Unknown>z<Dir>"), "xdy<Unknown>zd");
  // A stray ">" before the references blocks every one of them.
  EXPECT_EQ(Symbols("a>b<Dir>"), "a>b<Dir>");
  EXPECT_EQ(Symbols("<<Dir>>"), "<<Dir>>");
  // A reference brought in by a value is expanded while repetitions last.
  EXPECT_EQ(Symbols("<A>"), "<B>");
  EXPECT_EQ(Symbols("<A><Dir>"), "b<Dir>");
}

TEST_F(SymbolsTest, QueriesOnTheCommandLine) {
  rt.CommandLine.Assign("/tX a \"b c\"");
  EXPECT_EQ(Queries("{?Param\\1\\-1}"), "a, b c");
  EXPECT_EQ(Queries("[{?Param\\5}]"), "[]");
  EXPECT_EQ(Queries("{?Param\\2\\1}"), "");
  EXPECT_EQ(Queries("{?Param\\1\\4}"), "a, b c, , ");
  EXPECT_EQ(Queries("}{?Param\\1}"), "}{?Param\\1}");
  // A range of almost every index ends at the value limit; the block stays.
  EXPECT_EQ(Queries("{?Param\\0\\2000000000}"), "{?Param\\0\\2000000000}");
}

TEST_F(SymbolsTest, QueriesForFoldersAndApplications) {
  platform.separator = "\\";
  platform.folders = {{26, "C:\\Data\\\\"}};
  platform.failFolders = true;
  platform.appPaths = {{"tool.exe", {"C:\\tools\\tool.exe", "C:\\tools;;"}},
                       {"tool.exey", {"", "C:\\y\\\\"}}};
  EXPECT_EQ(Queries("{?SpFolder\\1a}\\f"), "C:\\Data\\f");
  EXPECT_EQ(Queries("{?SpFolder\\1b}"), "{?SpFolder\\1b}");
  EXPECT_EQ(Queries("{?app\\TOOL.EXE}"), "C:\\tools\\tool.exe");
  EXPECT_EQ(Queries("{?AppPath\\tool.exe\\ignored}"), "C:\\tools");
  EXPECT_EQ(Queries("{?AppPath\\tool.exey}"), "C:\\y");
  EXPECT_EQ(Queries("{?App\\none.exe}"), "{?App\\none.exe}");
  // The name goes to the platform as written.
  EXPECT_EQ(platform.appPathQueries.back(), "none.exe");
}

TEST_F(SymbolsTest, DotDotCollapsing) {
  platform.separator = "\\";
  EXPECT_EQ(Collapse("D:\\A\\B\\..\\E"), "D:\\A\\E");
  EXPECT_EQ(Collapse("D:\\A\\B\\..\\..\\E"), "D:\\E");
  EXPECT_EQ(Collapse("D:\\A\\..\\..\\X"), "D:\\..\\X");
  EXPECT_EQ(Collapse("\\..\\X"), "\\..\\X");
  EXPECT_EQ(Collapse("D:\\A\\..B\\C"), "D:\\A\\..B\\C");
  // In code page 932 the second byte of a character is never a separator.
  platform.SetCodePage(kCodePageShiftJis);
  EXPECT_EQ(Collapse("C:\\A\\\x95\\..\\B"), "C:\\A\\\x95\\..\\B");
  EXPECT_EQ(Collapse("C:\\A\\\x95\\\\..\\B"), "C:\\A\\B");
  platform.separator = "/";
  EXPECT_EQ(Collapse("/a/b/../c"), "/a/c");
  EXPECT_EQ(Collapse("D:\\A\\B\\..\\E"), "D:\\A\\B\\..\\E");
}

// Definitions that multiply, reference each other and fill a large section
// stay within the value limit and end promptly.
TEST_F(SymbolsTest, GrowthIsBounded) {
  std::string settings = "[DEFINE]\n<A0>=" + std::string(100, 'x') + "\n";
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "<A#>";
  for (int level = 1; level <= 4; ++level) {
    std::string line = twenty;
    for (size_t p = line.find('#'); p != std::string::npos;
         p = line.find('#'))
      line.replace(p, 1, std::to_string(level - 1));
    settings += "<A" + std::to_string(level) + ">=" + line + "\n";
  }
  for (int i = 0; settings.size() < 30000; ++i)
    settings += "<F" + std::to_string(i) + ">={?Param\\0\\99}<A4>\n";
  settings += "[P]\nV=<A4><A4><A3>\n";
  rt.CommandLine.Assign("w");
  Load(settings);
  EXPECT_GT(rt.SymbolCount, 1000);
  for (int32_t i = 0; i < rt.SymbolCount; ++i)
    EXPECT_LE(rt.SymbolTable[i].value.Length(), kMaxExpandedLength);
  // Substitution stopped before the limit; the rest stays as written.
  EXPECT_EQ(Lookup("<A2>").substr(16 * 2000), "<A1><A1><A1><A1>");
  const std::string value = Setting("V");
  EXPECT_LE(value.size(), static_cast<size_t>(kMaxExpandedLength));
  EXPECT_EQ(value.substr(value.size() - 8), "<A4><A3>");
}

// The block walk must find the same blocks as the reference block
// operations would, pass after pass, whatever the values bring in.
std::string ReferenceExpandSymbols(Runtime& rt, const std::string& input) {
  StrBuf text(input.c_str());
  const int32_t n = reference::BlockCount(text, "<", ">", rt.codePage);
  int32_t i = 0;
  StrBuf value;
  for (int32_t repetition = 0; repetition < n; ++repetition) {
    const StrBuf block = reference::Block(text, i, "<", ">", rt.codePage);
    if (block.IsEmpty()) break;
    if (LookupSymbol(rt, block.Text(), value)) {
      reference::ReplaceBlock(text, i, "<", ">", value.Text(), rt.codePage);
    } else {
      ++i;
    }
  }
  return text.Text();
}

TEST_F(SymbolsTest, SymbolPassAgreesWithTheBlockOperations) {
  const char* const tokens[] = {"<", ">", "a", "b", "d", "x", "\x95>", "<a>"};
  DefineSymbol(rt, "<a>", StrBuf("<b>"));
  DefineSymbol(rt, "<b>", StrBuf("x>"));
  DefineSymbol(rt, "<x>", StrBuf("<"));
  DefineSymbol(rt, "<d>", StrBuf("<a><a"));
  DefineSymbol(rt, "<<a>>", StrBuf(""));
  std::mt19937 random(7);
  for (unsigned codePage : {kCodePageUtf8, kCodePageShiftJis}) {
    platform.SetCodePage(codePage);
    for (int round = 0; round < 20000; ++round) {
      std::string text;
      for (int k = random() % 12; k > 0; --k) text += tokens[random() % 8];
      ASSERT_EQ(Symbols(text), ReferenceExpandSymbols(rt, text))
          << "text " << text << " code page " << codePage;
    }
  }
}

}  // namespace
