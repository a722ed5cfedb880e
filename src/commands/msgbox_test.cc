#include "commands/msgbox.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "commands/command_table.h"
#include "platform/fake/fake_platform.h"
#include "run/levels.h"

namespace {

// A current level holding one procedure, Check, whose flag the tests set.
class MsgBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto check = std::make_unique<Procedure>();
    check->name.Assign("Check");
    check_ = check.get();
    auto level = std::make_unique<ProcLevel>();
    level->Add(std::move(check));
    ASSERT_TRUE(PushLevel(rt, level));
  }
  void TearDown() override { FreeAllLevels(rt); }

  MsgBoxProcedure Box(const char* flag, const char* type,
                      const char* isAbort = "0,0",
                      const char* text = "Hello") {
    MsgBoxProcedure record;
    record.name.Assign("Ask");
    record.FLAG.Assign(flag);
    record.TYPE.Assign(type);
    record.TEXT.Assign(text);
    record.ISABORT.Assign(isAbort);
    return record;
  }

  FakePlatform platform;
  Runtime rt{platform};
  Procedure* check_ = nullptr;  // owned by the level
};

TEST_F(MsgBoxTest, FlagDecidesWhetherTheBoxIsShown) {
  struct Case {
    const char* flag;
    uint8_t checkFlag;
    bool shown;
  } cases[] = {
      {"", 0, true},
      {"NoSuchProcedure", 0, true},  // a name alone is not looked up
      {"Check,1", 0, false},
      {"Check,1", 1, true},
      {" CHECK , 0", 0, true},
      {"Check,x", 0, true},  // not a number: tests for 0
      {"Check,x", 1, false},
      {"Check,2", 1, false},
  };
  for (const Case& c : cases) {
    platform.boxes.clear();
    check_->ResultFlag = c.checkFlag;
    MsgBoxProcedure record = Box(c.flag, "INFORMATION");
    EXPECT_TRUE(ExecuteMsgBox(rt, record)) << c.flag;
    EXPECT_EQ(platform.boxes.size(), c.shown ? 1u : 0u) << c.flag;
    EXPECT_EQ(record.ResultFlag, c.shown ? 1 : 0) << c.flag;
  }
}

TEST_F(MsgBoxTest, SkippedBoxIgnoresAnInvalidType) {
  MsgBoxProcedure record = Box("Check,1", "NOTATYPE");
  EXPECT_TRUE(ExecuteMsgBox(rt, record));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(MsgBoxTest, UnknownProcedureOrTypeIsReported) {
  MsgBoxProcedure unknown = Box("Missing,1", "INFORMATION");
  EXPECT_FALSE(ExecuteMsgBox(rt, unknown));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style & kMbIconMask, kMbIconError);
  EXPECT_NE(platform.boxes[0].text.find("Missing,1"), std::string::npos);

  MsgBoxProcedure badType = Box("", "QUERY");
  EXPECT_FALSE(ExecuteMsgBox(rt, badType));
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].style & kMbIconMask, kMbIconError);
  EXPECT_NE(platform.boxes[1].text.find("QUERY"), std::string::npos);
  EXPECT_EQ(unknown.ResultFlag + badType.ResultFlag, 0);
}

TEST_F(MsgBoxTest, TypeWordsGiveTheirStyles) {
  struct Case {
    const char* type;
    unsigned style;
  } cases[] = {
      {"ERROR", 0x10},
      {"information", 0x40},
      {"Warning", 0x134},
      {"question", 0x24},
  };
  for (const Case& c : cases) {
    platform.boxes.clear();
    MsgBoxProcedure record = Box("", c.type);
    EXPECT_TRUE(ExecuteMsgBox(rt, record));
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].style, c.style) << c.type;
  }
}

TEST_F(MsgBoxTest, TextEscapes) {
  MsgBoxProcedure record = Box("", "ERROR", "0,0", "Line1%nLine2%tEnd%n%%t");
  EXPECT_TRUE(ExecuteMsgBox(rt, record));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "Line1\nLine2\tEnd\n%\t");
}

TEST_F(MsgBoxTest, AnswersAndIsAbort) {
  struct Case {
    const char* type;
    const char* isAbort;
    int answer;
    bool goesOn;
    uint8_t flag;
    bool byUser;  // the stop is the user's (exit code 1602, not 1603)
  } cases[] = {
      {"INFORMATION", "1,0", kIdOk, false, 1, false},  // the script refuses
      {"ERROR", "1", kIdOk, false, 1, false},
      {"INFORMATION", "0,1", kIdOk, true, 1, false},
      {"WARNING", "0,1", kIdNo, false, 0, true},
      {"QUESTION", "1,0", kIdYes, false, 1, true},
      {"WARNING", "0,1", kIdYes, true, 1, false},
      {"QUESTION", "1", kIdNo, true, 0, false},  // second number missing
      {"QUESTION", "", kIdNo, true, 0, false},
      {"QUESTION", "x,y", kIdYes, true, 1, false},
      {"QUESTION", " 0 , 1", kIdCancel, false, 0, true},
      {"QUESTION", "1,1", 0, true, 0, false},  // the box could not be shown
  };
  for (const Case& c : cases) {
    platform.boxes.clear();
    rt.stoppedByUser = false;
    platform.boxAnswers = {c.answer};
    MsgBoxProcedure record = Box("", c.type, c.isAbort);
    EXPECT_EQ(ExecuteMsgBox(rt, record), c.goesOn)
        << c.type << " " << c.isAbort << " " << c.answer;
    EXPECT_EQ(record.ResultFlag, c.flag)
        << c.type << " " << c.isAbort << " " << c.answer;
    EXPECT_EQ(rt.stoppedByUser, c.byUser)
        << c.type << " " << c.isAbort << " " << c.answer;
  }
}

TEST_F(MsgBoxTest, LoaderReadsAllKeys) {
  char pattern[] = "/tmp/msgbox_test_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string path = std::string(pattern) + "/updater.ini";
  std::ofstream(path) << "[Ask]\nMODE=MSGBOX\nFLAG=\nTYPE=question\n"
                         "TEXT=Go on?\nISABORT=0,1\n"
                         "[NoAbort]\nMODE=MSGBOX\nFLAG=\nTYPE=ERROR\nTEXT=x\n";
  rt.SettingsPath.Assign(path.c_str());

  std::unique_ptr<Procedure> loaded(
      LoadRecord(rt, *FindCommand("MSGBOX", CodePage()), "Ask"));
  ASSERT_NE(loaded, nullptr);
  auto& record = static_cast<MsgBoxProcedure&>(*loaded);
  EXPECT_STREQ(record.MODE.Text(), "MSGBOX");
  EXPECT_STREQ(record.FLAG.Text(), "");
  EXPECT_STREQ(record.TYPE.Text(), "question");
  EXPECT_STREQ(record.TEXT.Text(), "Go on?");
  EXPECT_STREQ(record.ISABORT.Text(), "0,1");
  EXPECT_TRUE(platform.boxes.empty());

  EXPECT_EQ(LoadRecord(rt, *FindCommand("MSGBOX", CodePage()), "NoAbort"),
            nullptr);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("ISABORT"), std::string::npos);

  unlink(path.c_str());
  rmdir(pattern);
}

}  // namespace
