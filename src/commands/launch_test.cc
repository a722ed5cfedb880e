#include "commands/launch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "base/code_page.h"
#include "commands/command_table.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/held_child.h"
#include "platform/fake/test_dir.h"

namespace {

class LaunchTest : public ::testing::Test {
 protected:
  LaunchTest() : rt(platform) {}

  // A copy of the echo_args helper in dir/bin; fails the test when the
  // helper is not built beside unit_tests.
  std::string InstallHelper() {
    std::string copy = CopyHelper();
    EXPECT_FALSE(copy.empty())
        << "the helper echo_args is missing beside unit_tests: build it "
           "(cmake --build --preset native)";
    return copy;
  }

  std::string CopyHelper() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    std::string helper(self, static_cast<size_t>(n));
    helper = helper.substr(0, helper.rfind('/') + 1) + "echo_args";
    if (access(helper.c_str(), X_OK) != 0) return "";
    dir.Write("bin/.keep", "");
    const std::string copy = dir / "bin/echo_args";
    if (system(("cp '" + helper + "' '" + copy + "'").c_str()) != 0) return "";
    return copy;
  }

  bool Launch(const std::string& files, const std::string& params, int wait,
              uint8_t& flag) {
    LaunchProcedure record;
    record.name.Assign("Run");
    record.FILE.Assign(files.c_str());
    record.PARAM.Assign(params.c_str());
    record.ISWAIT = wait;
    const bool result = ExecuteLaunch(rt, record);
    flag = record.ResultFlag;
    return result;
  }

  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(LaunchTest, DirectoryPartIsEverythingBeforeTheLastSeparator) {
  StrBuf out("unchanged");
  EXPECT_TRUE(GetDirectoryPart(rt, "/opt/tools/app", out));
  EXPECT_STREQ(out.Text(), "/opt/tools");
  EXPECT_TRUE(GetDirectoryPart(rt, "a/b/", out));
  EXPECT_STREQ(out.Text(), "a/b");
  EXPECT_TRUE(GetDirectoryPart(rt, "a//b", out));
  EXPECT_STREQ(out.Text(), "a/");
  out.Assign("unchanged");
  EXPECT_FALSE(GetDirectoryPart(rt, "/app", out));  // only at the start
  EXPECT_FALSE(GetDirectoryPart(rt, "app.exe", out));
  EXPECT_FALSE(GetDirectoryPart(rt, "", out));
  EXPECT_FALSE(GetDirectoryPart(rt, "C:\\Tools\\app.exe", out));  // not "/"
  EXPECT_STREQ(out.Text(), "unchanged");
}

// In code page 932 the second byte of ソ (83 5C) and of 表 (95 5C) equals
// the backslash: the directory is never cut inside such a character.
TEST_F(LaunchTest, DirectoryPartNeverEndsInsideACharacter) {
  platform.SetCodePage(kCodePageShiftJis);
  platform.separator = "\\";
  const std::string app = "C:\\\x83\x41\x83\x76\x83\x8a";  // C:\アプリ
  StrBuf out;
  EXPECT_TRUE(GetDirectoryPart(rt, (app + "\\\x83\x5c\x83\x74\x83\x67.exe").c_str(), out));
  EXPECT_EQ(std::string(out.Text()), app);
  EXPECT_TRUE(GetDirectoryPart(rt, (app + "\\\x95\x5c\\x.exe").c_str(), out));
  EXPECT_EQ(std::string(out.Text()), app + "\\\x95\x5c");
  EXPECT_FALSE(GetDirectoryPart(rt, "\x95\x5c.exe", out));
}

TEST_F(LaunchTest, BareNameIsNeverStarted) {
  uint8_t flag = 1;
  EXPECT_FALSE(Launch(" echo_args ", " -x ", 1, flag));
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style & kMbIconMask, kMbIconError);
  // Trimmed items in the message.
  EXPECT_NE(platform.boxes[0].text.find("echo_args\""), std::string::npos);
  EXPECT_NE(platform.boxes[0].text.find("\"-x\""), std::string::npos);
  EXPECT_FALSE(dir.Exists("args.txt"));
}

TEST_F(LaunchTest, WaitedProgramsRunInOrderInTheirOwnFolder) {
  const std::string echo = InstallHelper();
  ASSERT_FALSE(echo.empty());
  uint8_t flag = 0;
  // The first sleeps, then writes; the second has no parameter item.
  ASSERT_TRUE(Launch(echo + "," + echo, "--sleep=300 --exit=3 first", 1, flag));
  EXPECT_EQ(flag, 1);
  const std::string cwd = "cwd=" + dir.path() + "/bin\n";
  EXPECT_EQ(dir.Read("bin/args.txt"),
            cwd + "[--sleep=300]\n[--exit=3]\n[first]\n" + cwd);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(LaunchTest, FailingItemStopsTheListAfterEarlierOnesStarted) {
  const std::string echo = InstallHelper();
  ASSERT_FALSE(echo.empty());
  dir.Write("data.txt", "not a program");
  uint8_t flag = 0;
  EXPECT_FALSE(
      Launch(echo + "," + (dir / "data.txt") + "," + echo, "one,two", 0, flag));
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("data.txt"), std::string::npos);
  EXPECT_NE(platform.boxes[0].text.find("two"), std::string::npos);
  // Without ISWAIT the start is enough; give the first program its moment
  // to write the whole file (it may exist before its lines are written).
  const std::string expected = "cwd=" + dir.path() + "/bin\n[one]\n";
  for (int i = 0; i < 1000 && dir.Read("bin/args.txt") != expected; ++i)
    usleep(10000);
  EXPECT_EQ(dir.Read("bin/args.txt"), expected);
}

TEST_F(LaunchTest, WaitAppWaitsForEachProgramWithItsOwnTimeOut) {
  HeldChild child(300000);
  ASSERT_GT(child.id(), 0);
  platform.processes = {{"/opt/slow", static_cast<uint32_t>(child.id())}};
  WaitAppProcedure record;
  record.name.Assign("Wait");

  // Not running, a text item, a missing item: no wait at all.
  record.APP.Assign("/opt/none, /opt/slow ,/opt/slow");
  record.TICK.Assign("-1,soon");
  EXPECT_TRUE(ExecuteWaitApp(rt, record));
  EXPECT_EQ(record.ResultFlag, 1);
  EXPECT_TRUE(child.Running());

  // A time-out, then no limit: the second wait lasts until the program ends.
  record.APP.Assign("/opt/slow,/opt/slow");
  record.TICK.Assign("50, -1");
  record.ResultFlag = 0;
  child.Release();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ExecuteWaitApp(rt, record));
  EXPECT_EQ(record.ResultFlag, 1);
  EXPECT_FALSE(child.Running());
  EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                          start).count(),
            0.25);
  EXPECT_TRUE(child.Reap());
}

TEST_F(LaunchTest, IswaitThatIsNoNumberMeansNoWait) {
  dir.Write("updater.ini",
            "[Run]\nMODE=LAUNCH\nFILE=/x/y\nPARAM=\nISWAIT=yes\n"
            "[Bad]\nMODE=LAUNCH\nFILE=/x/y\nPARAM=\n");
  rt.SettingsPath.Assign((dir / "updater.ini").c_str());
  std::unique_ptr<Procedure> record(
      LoadRecord(rt, *FindCommand("LAUNCH", rt.codePage), "Run"));
  ASSERT_TRUE(record);
  EXPECT_EQ(static_cast<LaunchProcedure&>(*record).ISWAIT, 0);
  EXPECT_STREQ(static_cast<LaunchProcedure&>(*record).FILE.Text(), "/x/y");
  EXPECT_EQ(LoadRecord(rt, *FindCommand("LAUNCH", rt.codePage), "Bad"),
            nullptr);  // ISWAIT is required
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("ISWAIT"), std::string::npos);
}

}  // namespace

// TICK items never wrap: beyond the range they wait the longest time, and a
// negative number other than -1 does not wait.
TEST(TickTimeoutTest, ReadsWithoutWrapping) {
  struct Case {
    const char* tick;
    uint32_t timeout;
    bool inRange;
  };
  const Case cases[] = {
      {"-1", kWaitInfinite, true},     {"0", 0, true},
      {"30000", 30000, true},          {" +5", 5, true},
      {"2147483647", kLongestTick, true},
      {"2147483648", kLongestTick, false},
      {"4294967295", kWaitInfinite, true},
      {"4294967294", kLongestTick, false},
      {"-0", 0, true},
      {"4294967296", kLongestTick, false},
      {"99999999999999999999999", kLongestTick, false},
      {"-2", 0, false},                {"-4294967295", 0, false},
      {"soon", 0, true},               {"", 0, true},
  };
  for (const Case& c : cases) {
    bool inRange = !c.inRange;
    EXPECT_EQ(TickTimeout(StrBuf(c.tick), &inRange), c.timeout) << c.tick;
    EXPECT_EQ(inRange, c.inRange) << c.tick;
  }
}
