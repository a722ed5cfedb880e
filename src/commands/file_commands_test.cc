#include "commands/file_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "commands/command_table.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

using Strings = std::vector<std::string>;

class FileCommandsTest : public ::testing::Test {
 protected:
  FileCommandsTest() : rt(platform) {}

  std::string P(const std::string& relative) const { return dir / relative; }
  Strings Texts() const {
    Strings texts;
    for (const auto& box : platform.boxes) texts.push_back(box.text);
    return texts;
  }
  template <class Record>
  static Record Make(const char* name) {
    Record record;
    record.name.Assign(name);
    return record;
  }

  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(FileCommandsTest, ShortSecondListsGiveEmptyItems) {
  dir.Write("a", "");
  dir.Write("b", "");
  chmod(P("b").c_str(), 0444);
  // No mask for b: 0, which makes it writable again; a tab stays in an item.
  auto attr = Make<AttrProcedure>("A");
  attr.FILE.Assign((" " + P("a") + " ," + P("b")).c_str());
  attr.ARG.Assign("0x1");
  EXPECT_TRUE(ExecuteAttr(rt, attr));
  EXPECT_EQ(attr.ResultFlag, 1);
  struct stat st;
  ASSERT_EQ(stat(P("a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_EQ(stat(P("b").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0200, 0u);
  attr.FILE.Assign((P("a") + "\t").c_str());
  EXPECT_FALSE(ExecuteAttr(rt, attr));
  EXPECT_EQ(Texts(), (Strings{"ファイル属性の変更に失敗しました。\n\nファイル：\"" +
                              P("a") + "\t\"\n属性：0x00000001"}));
}

TEST_F(FileCommandsTest, LoadersReadTheirKeys) {
  dir.Write("u.ini", "[C]\nMODE=COPY\nFROM= a , b\nTO=c\n[A]\nMODE=ATTR\nFILE=f\n");
  rt.SettingsPath.Assign(P("u.ini").c_str());
  std::unique_ptr<Procedure> copy(
      LoadRecord(rt, *FindCommand("COPY", CodePage()), StrBuf("C")));
  ASSERT_TRUE(copy);
  auto& c = static_cast<CopyProcedure&>(*copy);
  EXPECT_STREQ(c.MODE.Text(), "COPY");
  EXPECT_STREQ(c.FROM.Text(), "a , b");
  EXPECT_STREQ(c.TO.Text(), "c");
  // A missing key: message 2, no record.
  EXPECT_EQ(LoadRecord(rt, *FindCommand("ATTR", CodePage()), StrBuf("A")),
            nullptr);
  EXPECT_EQ(Texts(), (Strings{"設定ファイルのフォーマットが正しくありません。\n\n"
                              "セクション：\"A\"\nパラメータ：\"ARG\""}));
}

}  // namespace
