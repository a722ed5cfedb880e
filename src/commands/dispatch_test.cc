#include "commands/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "base/code_page.h"
#include "core/main_list.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "platform/file_system_forwarder.h"
#include "platform/system_info_forwarder.h"
#include "run/levels.h"
#include "settings/symbols.h"

namespace {

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() : rt(platform) {}
  ~DispatchTest() override { FreeAllLevels(rt); }

  // Writes the settings file and runs its main list.
  bool Run(const std::string& settings) {
    dir.Write("u.ini", settings);
    rt.SettingsPath.Assign((dir / "u.ini").c_str());
    rt.Caption.Assign("Test");
    return ReadUpdaterSection(rt) && RunUpdater(rt);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : platform.boxes) texts.push_back(box.text);
    return texts;
  }
  static std::string Box(const char* name, const char* text) {
    return std::string("[") + name + "]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=" +
           text + "\nISABORT=\n";
  }

  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

using Strings = std::vector<std::string>;

TEST_F(DispatchTest, ListNamesAreTrimmedAndRunInOrder) {
  EXPECT_TRUE(Run("[UPDATER]\nNAME=\nPROC= A , b ,A\n" + Box("A", "one") +
                  Box("B", "two")));
  EXPECT_EQ(Texts(), (Strings{"one", "two", "one"}));
  EXPECT_EQ(rt.LevelCount, 0);
}

TEST_F(DispatchTest, NothingRunsWhenAnyProcedureFailsToLoad) {
  // An empty name between commas: its MODE is missing.
  EXPECT_FALSE(Run("[UPDATER]\nNAME=\nPROC=A,,B\n" + Box("A", "one") + Box("B", "two")));
  EXPECT_EQ(Texts(), (Strings{"設定ファイルのフォーマットが正しくありません。\n\n"
                              "セクション：\"\"\nパラメータ：\"MODE\""}));
  platform.boxes.clear();

  // An unknown MODE, after a procedure that would have shown a box.
  EXPECT_FALSE(Run("[UPDATER]\nNAME=\nPROC=A,F\n" + Box("A", "one") +
                   "[F]\nMODE=foo\n"));
  EXPECT_EQ(Texts(), (Strings{"シンボルが正しくありません。\n\nシンボル：\"foo\""}));
  platform.boxes.clear();

  // A key missing in the third procedure.
  EXPECT_FALSE(Run("[UPDATER]\nNAME=\nPROC=A,B,C\n" + Box("A", "one") +
                   Box("B", "two") + "[C]\nMODE=MSGBOX\nFLAG=\nTYPE=ERROR\nTEXT=x\n"));
  EXPECT_EQ(Texts(), (Strings{"設定ファイルのフォーマットが正しくありません。\n\n"
                              "セクション：\"C\"\nパラメータ：\"ISABORT\""}));
  EXPECT_EQ(rt.LevelCount, 0);
}

TEST_F(DispatchTest, EmptyMainListShowsMessage4) {
  EXPECT_FALSE(Run("[UPDATER]\nNAME=\nPROC=\n"));
  EXPECT_EQ(Texts(), (Strings{"設定パラメータのアイテム数が正しくありません。\n\n"
                              "セクション：\"UPDATER\"\nパラメータ：\"PROC\""}));
}

const char kCheck[] = "[Check]\nMODE=VERIFY\nARG1=a\nARG2=A\n";
const char kMiss[] = "[Miss]\nMODE=VERIFY\nARG1=a\nARG2=b\n";

TEST_F(DispatchTest, SwitchRunsTheListOfTheTestedFlag) {
  std::string boxes = Box("One", "one") + Box("Zero", "zero");
  EXPECT_TRUE(Run(std::string("[UPDATER]\nNAME=\nPROC=Check,Miss,B1,B0,Later,Check2\n") +
                  kCheck + kMiss + boxes +
                  "[B1]\nMODE=SWITCH\nPROC= CHECK \n0=Zero\n1=One, Zero\n"
                  "[B0]\nMODE=SWITCH\nPROC=miss\n0=Zero\n1=One\n"
                  // Tests a procedure that has not run yet: its flag is 0.
                  "[Later]\nMODE=SWITCH\nPROC=Check2\n0=\n1=One\n"
                  "[Check2]\nMODE=VERIFY\nARG1=\nARG2=\n"));
  EXPECT_EQ(Texts(), (Strings{"one", "zero", "zero"}));
  EXPECT_EQ(rt.LevelCount, 0);
}

TEST_F(DispatchTest, SwitchSeesOnlyTheCurrentLevel) {
  EXPECT_FALSE(Run(std::string("[UPDATER]\nNAME=\nPROC=Check,Outer,After\n") + kCheck +
                   "[Outer]\nMODE=SWITCH\nPROC=Check\n0=\n1=Inner\n"
                   "[Inner]\nMODE=SWITCH\nPROC=Check\n0=\n1=\n" + Box("After", "after")));
  EXPECT_EQ(Texts(), (Strings{"シンボルが正しくありません。\n\nシンボル：\"Check\""}));
  // The stopped levels stay until everything is freed.
  EXPECT_EQ(rt.LevelCount, 2);
  FreeAllLevels(rt);
  EXPECT_EQ(rt.LevelCount, 0);
}

TEST_F(DispatchTest, SwitchThatReentersItselfStopsAtTheBound) {
  EXPECT_FALSE(Run("[UPDATER]\nNAME=\nPROC=Loop\n"
                   "[Loop]\nMODE=SWITCH\nPROC=Loop\n0=Loop\n1=\n"));
  EXPECT_EQ(rt.LevelCount, kMaxLevels);
  EXPECT_EQ(Texts(), (Strings{"プロシージャの入れ子が深すぎます。\n\n"
                              "プロシージャ：\"Loop\""}));
}

TEST_F(DispatchTest, LongListsAndWideSectionsLoad) {
  // A DEFINE line is not cut like a key value, so a symbol can carry a list
  // of 10,000 names into PROC.
  std::string names;
  for (int i = 0; i < 10000; ++i) names += i == 0 ? "V" : ",V";
  std::string wide = "[V]\nMODE=VERIFY\nARG1=a\nARG2=a\n";
  for (int i = 0; i < 1000; ++i) wide += "KEY" + std::to_string(i) + "=x\n";
  dir.Write("u.ini", "[DEFINE]\n<L>=" + names + "\n[UPDATER]\nNAME=\nPROC=<L>\n" + wide);
  rt.SettingsPath.Assign((dir / "u.ini").c_str());
  ASSERT_TRUE(LoadSymbols(rt));
  ASSERT_TRUE(ReadUpdaterSection(rt));
  EXPECT_EQ(rt.UpdaterProc.FieldCount(",", rt.codePage), 10000);
  EXPECT_TRUE(RunUpdater(rt));
  EXPECT_TRUE(platform.boxes.empty());

  // A missing section in such a list is named by message 2.
  dir.Write("u.ini", "[DEFINE]\n<L>=" + names + ",Gone\n[UPDATER]\nNAME=\nPROC=<L>\n" + wide);
  Runtime again(platform);
  again.SettingsPath.Assign((dir / "u.ini").c_str());
  LoadSymbols(again);
  ASSERT_TRUE(ReadUpdaterSection(again));
  EXPECT_FALSE(RunUpdater(again));
  EXPECT_EQ(Texts(), (Strings{"設定ファイルのフォーマットが正しくありません。\n\n"
                              "セクション：\"Gone\"\nパラメータ：\"MODE\""}));
  EXPECT_EQ(again.LevelCount, 0);
}

// A file system whose settings file is a new file at every look, saying
// SWITCH and MSGBOX in turn for P's MODE, as a file replaced between the
// list's reading of a MODE and the loader's would.
class ChangingFiles : public FileSystemForwarder {
 public:
  using FileSystemForwarder::FileSystemForwarder;
  FileRead ReadFileIfChanged(const char*, const ChangeStamp*, FileLook& look,
                             std::string& bytes) override {
    ++looks;
    look = FileLook();
    look.identity.size = looks;
    bytes = std::string("[UPDATER]\nNAME=\nPROC=P\n[P]\nMODE=") +
            (looks % 2 == 1 ? "SWITCH" : "MSGBOX") +
            "\nPROC=P\n0=\n1=\nFLAG=\nTYPE=ERROR\nTEXT=x\nISABORT=\n";
    return FileRead::kRead;
  }
  uint64_t looks = 0;
};

TEST(DispatchSafety, RecordNeverReachesAnotherCommandsExecutor) {
  TestDir dir;
  FakePlatform platform;
  ChangingFiles changing(platform);
  Platform run = platform.WithFiles(changing);
  Runtime rt(run);
  rt.SettingsPath.Assign((dir / "u.ini").c_str());
  ASSERT_TRUE(ReadUpdaterSection(rt));
  EXPECT_FALSE(RunUpdater(rt));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "シンボルが正しくありません。\n\nシンボル：\"MSGBOX\"");
  EXPECT_EQ(rt.LevelCount, 0);
}

// Memory that runs out while a key is read (here: at the n-th parse of a
// settings file that is new at every look) gives message 3 naming what the
// value was read for, never message 2 or an empty value.
TEST(DispatchSafety, KeyReadWithoutMemoryGivesMessage3) {
  struct FreshFiles : FileSystemForwarder {
    using FileSystemForwarder::FileSystemForwarder;
    FileRead ReadFileIfChanged(const char*, const ChangeStamp*, FileLook& look,
                               std::string& bytes) override {
      look = FileLook();
      look.identity.size = ++looks;
      bytes =
          "\xEF\xBB\xBF[UPDATER]\nNAME=\nPROC=P\n[P]\nMODE=MSGBOX\nFLAG=\n"
          "TYPE=ERROR\nTEXT=x\nISABORT=\n";
      return FileRead::kRead;
    }
    uint64_t looks = 0;
  };
  struct FailingConversion : SystemInfoForwarder {
    using SystemInfoForwarder::SystemInfoForwarder;
    std::string Utf8ToAnsi(const char* text) const override {
      if (++calls == failAt) throw std::bad_alloc();
      return SystemInfoForwarder::Utf8ToAnsi(text);
    }
    int failAt = 0;
    mutable int calls = 0;
  };
  const struct {
    int failAt;  // the parse that runs out of memory
    const char* object;
  } rows[] = {{1, "UpdaterName"},
              {2, "UpdaterProc"},
              {3, "ProcList"},
              {4, "MSGBOX_INFO"},
              {6, "MSGBOX_INFO"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.failAt);
    TestDir dir;
    FakePlatform platform;
    FreshFiles files(platform);
    FailingConversion system(platform);
    system.failAt = row.failAt;
    Platform run(files, platform, platform, system);
    Runtime rt(run);
    rt.SettingsPath.Assign((dir / "u.ini").c_str());
    EXPECT_FALSE(ReadUpdaterSection(rt) && RunUpdater(rt));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].text,
              std::string("メモリが不足しています。\n\nオブジェクト：\"") +
                  row.object + "\"");
  }
}

}  // namespace
