#include "commands/conditions.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include "commands/command_table.h"
#include "platform/fake/fake_platform.h"

namespace {

class ConditionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/conditions_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string MakeFile(const std::string& name) {
    std::ofstream(Path(name)) << "x";
    return Path(name);
  }

  // A file last written at the given local time.
  std::string MakeDatedFile(const std::string& name, int year, int month,
                            int day, int hour = 12, int minute = 0) {
    std::string path = MakeFile(name);
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    utimbuf times{};
    times.actime = times.modtime = std::mktime(&t);
    EXPECT_EQ(utime(path.c_str(), &times), 0);
    return path;
  }

  void WriteSettings(const std::string& text) {
    std::string path = Path("updater.ini");
    std::ofstream(path) << text;
    rt.SettingsPath.Assign(path.c_str());
  }

  int ErrorBoxes() const {
    int count = 0;
    for (const auto& box : platform.boxes)
      if ((box.style & kMbIconMask) == kMbIconError) ++count;
    return count;
  }

  FakePlatform platform;
  Runtime rt{platform};
  std::string dir_;
};

bool Verify(const char* arg1, const char* arg2) {
  FakePlatform platform;
  Runtime rt(platform);
  VerifyProcedure record;
  record.ARG1.Assign(arg1);
  record.ARG2.Assign(arg2);
  EXPECT_TRUE(ExecuteVerify(rt, record));
  return record.ResultFlag == 1;
}

TEST(VerifyTest, ComparesItemsByPositionIgnoringCase) {
  EXPECT_TRUE(Verify("A", "a"));
  EXPECT_TRUE(Verify("x,y", "z,Y"));
  EXPECT_FALSE(Verify("x,y", "y,x"));
  EXPECT_TRUE(Verify(" x , y", "q,y "));
  EXPECT_FALSE(Verify("x", "q,x"));  // surplus items of ARG2 are not looked at
}

TEST(VerifyTest, EmptyItemsAndEmptyFirstList) {
  EXPECT_TRUE(Verify("", ""));
  EXPECT_FALSE(Verify("", " "));  // whole values, untrimmed
  EXPECT_FALSE(Verify("", "a"));
  EXPECT_TRUE(Verify("a, ", "b"));  // item 1: empty against missing
  EXPECT_FALSE(Verify("a,b", "c"));
}

TEST_F(ConditionsTest, DateComparesDaysNotTimes) {
  std::string early = MakeDatedFile("early.txt", 2003, 10, 5, 0, 1);
  std::string late = MakeDatedFile("late.txt", 2003, 10, 5, 23, 59);
  for (const std::string& path : {early, late}) {
    EXPECT_TRUE(FileDateNotBefore(rt, path.c_str(), "2003/10/5"));
    EXPECT_FALSE(FileDateNotBefore(rt, path.c_str(), "2003/10/6"));
    EXPECT_TRUE(FileDateNotBefore(rt, path.c_str(), "2003/9/30"));
    EXPECT_FALSE(FileDateNotBefore(rt, path.c_str(), "2003/11/1"));
    EXPECT_TRUE(FileDateNotBefore(rt, path.c_str(), "2002/12/31"));
    EXPECT_FALSE(FileDateNotBefore(rt, path.c_str(), "2004/1/1"));
  }
}

TEST_F(ConditionsTest, DateWithIncompleteOrNonNumericText) {
  std::string jan = MakeDatedFile("jan.txt", 2003, 1, 1);
  std::string old = MakeDatedFile("old.txt", 2002, 12, 31);
  EXPECT_TRUE(FileDateNotBefore(rt, jan.c_str(), "2003"));  // 2003/0/0
  EXPECT_FALSE(FileDateNotBefore(rt, old.c_str(), "2003"));
  EXPECT_TRUE(FileDateNotBefore(rt, old.c_str(), "abc"));  // 0/0/0
  EXPECT_TRUE(FileDateNotBefore(rt, old.c_str(), ""));
}

TEST_F(ConditionsTest, DateCountsUnopenableFilesAsOlder) {
  mkdir(Path("sub").c_str(), 0755);
  EXPECT_FALSE(FileDateNotBefore(rt, Path("missing.txt").c_str(), "1990/1/1"));
  EXPECT_FALSE(FileDateNotBefore(rt, Path("sub").c_str(), "1990/1/1"));

  DateProcedure record;
  record.FILE.Assign((MakeDatedFile("new.txt", 2010, 1, 1) + " , " +
                      Path("missing.txt"))
                         .c_str());
  record.DATE.Assign("2005/1/1");
  EXPECT_TRUE(ExecuteDate(rt, record));
  EXPECT_EQ(record.ResultFlag, 1);
}

TEST_F(ConditionsTest, DateFlagSetOnlyWhenSomeFileIsOlder) {
  std::string a = MakeDatedFile("a.txt", 2003, 10, 5);
  std::string b = MakeDatedFile("b.txt", 2004, 1, 1);
  DateProcedure record;
  record.FILE.Assign((a + "," + b).c_str());
  record.DATE.Assign("2003/10/5");
  EXPECT_TRUE(ExecuteDate(rt, record));
  EXPECT_EQ(record.ResultFlag, 0);

  record.DATE.Assign("2003/10/6");
  EXPECT_TRUE(ExecuteDate(rt, record));
  EXPECT_EQ(record.ResultFlag, 1);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(ConditionsTest, ExistNeedsEveryItem) {
  std::string a = MakeFile("a.txt");
  std::string b = MakeFile("b.txt");
  mkdir(Path("sub").c_str(), 0755);
  struct Case {
    std::string list;
    int flag;
  } cases[] = {
      {a + ", " + b + " ", 1},
      {a + ", ," + b, 0},  // the middle item is empty and not found
      {Path("*.txt"), 1},
      {Path("?.TXT"), 1},
      {Path("*.dll"), 0},
      {Path("sub"), 1},
      {a + "," + Path("missing"), 0},
  };
  for (const Case& c : cases) {
    ExistProcedure record;
    record.FILE.Assign(c.list.c_str());
    EXPECT_TRUE(ExecuteExist(rt, record)) << c.list;
    EXPECT_EQ(record.ResultFlag, c.flag) << c.list;
  }
  EXPECT_EQ(ErrorBoxes(), 0);
}

TEST_F(ConditionsTest, AppExistNeedsEveryItem) {
  platform.processes = {{"C:\\App\\a.exe", 10}, {"C:\\App\\b.exe", 11}};
  AppExistProcedure record;
  record.APP.Assign(" c:\\app\\A.EXE , C:\\App\\b.exe");
  EXPECT_TRUE(ExecuteAppExist(rt, record));
  EXPECT_EQ(record.ResultFlag, 1);

  AppExistProcedure missing;
  missing.APP.Assign("C:\\App\\a.exe,C:\\App\\c.exe");
  EXPECT_TRUE(ExecuteAppExist(rt, missing));
  EXPECT_EQ(missing.ResultFlag, 0);
}

TEST_F(ConditionsTest, LoadersReadTheirKeys) {
  WriteSettings(
      "[E]\nMODE=exist\nFILE=a.txt\n"
      "[D]\nMODE=DATE\nFILE=b.txt\nDATE=2003/10/5\n"
      "[O]\nMODE=OSVER\n"
      "[P]\nMODE=APPEXIST\nAPP=c.exe\n"
      "[V]\nMODE=VERIFY\nARG1=x,y\nARG2=z\n"
      "[Broken]\nMODE=DATE\nFILE=b.txt\n");

  std::unique_ptr<Procedure> e(
      LoadRecord(rt, *FindCommand("EXIST", CodePage()), "E"));
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->name.Text(), "E");
  EXPECT_STREQ(e->MODE.Text(), "exist");
  EXPECT_EQ(e->ResultFlag, 0);
  EXPECT_STREQ(static_cast<ExistProcedure&>(*e).FILE.Text(), "a.txt");

  std::unique_ptr<Procedure> d(
      LoadRecord(rt, *FindCommand("DATE", CodePage()), "D"));
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(static_cast<DateProcedure&>(*d).FILE.Text(), "b.txt");
  EXPECT_STREQ(static_cast<DateProcedure&>(*d).DATE.Text(), "2003/10/5");

  std::unique_ptr<Procedure> o(
      LoadRecord(rt, *FindCommand("OSVER", CodePage()), "O"));
  ASSERT_NE(o, nullptr);
  EXPECT_STREQ(o->MODE.Text(), "OSVER");

  std::unique_ptr<Procedure> p(
      LoadRecord(rt, *FindCommand("APPEXIST", CodePage()), "P"));
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(static_cast<AppExistProcedure&>(*p).APP.Text(), "c.exe");

  std::unique_ptr<Procedure> v(
      LoadRecord(rt, *FindCommand("VERIFY", CodePage()), "V"));
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(static_cast<VerifyProcedure&>(*v).ARG1.Text(), "x,y");
  EXPECT_STREQ(static_cast<VerifyProcedure&>(*v).ARG2.Text(), "z");
  EXPECT_EQ(ErrorBoxes(), 0);

  EXPECT_EQ(LoadRecord(rt, *FindCommand("DATE", CodePage()), "Broken"),
            nullptr);  // DATE missing
  ASSERT_EQ(ErrorBoxes(), 1);
  EXPECT_NE(platform.boxes[0].text.find("Broken"), std::string::npos);
  EXPECT_NE(platform.boxes[0].text.find("DATE"), std::string::npos);
}

}  // namespace
