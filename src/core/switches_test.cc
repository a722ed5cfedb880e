#include "core/switches.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/code_page.h"
#include "core/startup.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "run/runtime.h"

namespace {

// Each row: a command line, what the switches give (as one text), and the
// command line left for /t and /i.
TEST(TakeSwitches, WordsTakenOutAndRead) {
  struct Row {
    const char* line;
    const char* read;  // q p a=ANSWERS l=LOG x h !REFUSED
    const char* rest;
  };
  const Row rows[] = {
      // No switch: the line is left byte for byte.
      {"", "", ""},
      {"  /tMy  \"a b\"\t/iu.ini ", "", "  /tMy  \"a b\"\t/iu.ini "},
      {"/iC:/temp/u.ini", "", "/iC:/temp/u.ini"},
      // Not whole words, or not ours: left alone.
      {"/quietly /log.txt -helper /t/quiet /tQuiet", "",
       "/quietly /log.txt -helper /t/quiet /tQuiet"},
      {"/t\"My /quiet Caption\"", "", "/t\"My /quiet Caption\""},
      // Either prefix, any case, before and after /t and /i.
      {"/QUIET /tSetup", "q", "/tSetup"},
      {"/tSetup -Passive", "p", "/tSetup"},
      {"/iu.ini /exitcodes /tA", "x", "/iu.ini /tA"},
      {"/t /quiet Setup", "q", "/t Setup"},
      {"-?", "h", ""},
      {"/Help /tX", "h", "/tX"},
      // Values, quoted or the whole word quoted (as a joined argv gives it).
      {"/log=C:/temp/u.jsonl /tA", "l=C:/temp/u.jsonl", "/tA"},
      {"/log=\"C:\\My Logs\\u.jsonl\" /iu.ini", "l=C:\\My Logs\\u.jsonl",
       "/iu.ini"},
      {"\"/log=/tmp/my logs/u.jsonl\"", "l=/tmp/my logs/u.jsonl", ""},
      {"/log=記録/更新 ログ.jsonl", "l=記録/更新", "ログ.jsonl"},
      {"/answers=yes,No,,default", "a=yes,No,,default", ""},
      {"/answers=\" yes , ,no \"", "a= yes , ,no ", ""},
      {"/answers=", "a=", ""},
      {"/quiet /answers=no /log=u /exitcodes", "q a=no l=u x", ""},
      // Refused: the first bad one is named; the others are still taken.
      {"/quiet/passive /tA", "!/quiet/passive", "/tA"},
      {"/exitcodes-quiet", "!/exitcodes-quiet", ""},
      {"/quiet /passive", "q p !/passive", ""},
      {"/passive /QUIET", "q p !/QUIET", ""},
      {"/log= /tA", "!/log=", "/tA"},
      {"/log=\"\"", "!/log=\"\"", ""},
      {"/log=\" \"", "!/log=\" \"", ""},
      {"/log", "!/log", ""},
      {"/answers", "!/answers", ""},
      {"/answers=yes,maybe", "!/answers=yes,maybe", ""},
      {"/answers=\"yes no\"", "!/answers=\"yes no\"", ""},
      {"/quiet=1", "!/quiet=1", ""},
      {"/log=a /log=b", "l=a !/log=b", ""},
      {"/quiet -quiet", "q !-quiet", ""},
      {"/exitcodes /? /x", "x h", "/x"},
  };
  for (const Row& row : rows) {
    const CommandSwitches got = TakeSwitches(row.line, CodePage());
    const InteractionSwitches& i = got.interaction;
    std::string read;
    auto add = [&read](const std::string& part) {
      read += (read.empty() ? "" : " ") + part;
    };
    if (i.quiet) add("q");
    if (i.passive) add("p");
    if (i.answersGiven) add("a=" + i.answers);
    if (i.logGiven) add("l=" + i.log);
    if (i.exitCodes) add("x");
    if (got.help) add("h");
    if (!got.refused.empty()) add("!" + got.refused);
    EXPECT_EQ(read, row.read) << row.line;
    EXPECT_EQ(got.rest, row.rest) << row.line;
  }
}

TEST(TakeSwitches, ShiftJisTrailBytesAreNoBlanksOrQuotes) {
  const CodePage sjis(kCodePageShiftJis);
  // "ソ" is 83 5C and "表" 95 5C: trail bytes equal to a backslash; a value
  // in quotes ends at its closing quote only.
  const std::string value = "C:\\\x83\x5C\x95\x5C dir\\u.jsonl";
  const CommandSwitches got =
      TakeSwitches(("/t\x83\x5C /log=\"" + value + "\" /quiet").c_str(), sjis);
  EXPECT_EQ(got.interaction.log, value);
  EXPECT_TRUE(got.interaction.quiet);
  EXPECT_EQ(got.rest, "/t\x83\x5C");
}

class SwitchRunTest : public ::testing::Test {
 protected:
  SwitchRunTest() {
    platform.modulePath = dir / "setup.exe";
    unsetenv("UPDATER_ANSWERS");
    unsetenv("UPDATER_TRANSCRIPT");
    unsetenv("UPDATER_EXITCODE");
  }
  ~SwitchRunTest() override {
    unsetenv("UPDATER_ANSWERS");
    unsetenv("UPDATER_TRANSCRIPT");
    unsetenv("UPDATER_EXITCODE");
  }
  int Run(const std::string& line) {
    platform.progress.clear();
    Runtime rt(platform);
    const int code = RunProgram(rt, line.c_str());
    caption = rt.Caption.Text();
    commandLine = rt.CommandLine.Text();
    progressShown = false;
    for (const std::string& call : platform.progress)
      if (call.rfind("open", 0) == 0) progressShown = true;
    return code;
  }
  TestDir dir;
  FakePlatform platform;
  std::string caption;
  std::string commandLine;
  bool progressShown = false;
};

TEST_F(SwitchRunTest, SwitchesWinOverTheirEnvironmentVariables) {
  dir.Write("setup.ini",
            "[UPDATER]\nNAME=N\nPROC=A\nPROGRESS=1\n[A]\nMODE=MSGBOX\n"
            "FLAG=\nTYPE=QUESTION\nTEXT=m\nISABORT=0,1\n");
  setenv("UPDATER_ANSWERS", "no", 1);
  setenv("UPDATER_TRANSCRIPT", (dir / "env.jsonl").c_str(), 1);
  setenv("UPDATER_EXITCODE", "0", 1);
  // /answers=yes beats "no": the run completes; the log of the switch is
  // written, the environment's is not.
  EXPECT_EQ(Run("/answers=yes /log=" + dir / "sw.jsonl" + " /exitcodes"), 0);
  EXPECT_NE(dir.Read("sw.jsonl").find("\"outcome\":\"completed\""),
            std::string::npos);
  EXPECT_FALSE(dir.Exists("env.jsonl"));
  EXPECT_TRUE(platform.boxes.empty());
  // /quiet answers as an empty list: the question's default, Yes; no
  // progress although PROGRESS=1.
  EXPECT_EQ(Run("/quiet"), 0);
  EXPECT_FALSE(progressShown);
  EXPECT_EQ(Run("/passive"), 0);
  EXPECT_TRUE(progressShown);
  // /quiet with a list of answers takes them; the exit code says so.
  EXPECT_EQ(Run("/quiet /answers=no /exitcodes"), kExitUserStopped);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(commandLine, "");
}

TEST_F(SwitchRunTest, RefusedSwitchStopsBeforeTheSettingsFile) {
  // No settings file at all: a refused switch is reported first, 1620 with
  // the codes on (1619 would say the file was looked for).
  EXPECT_EQ(Run("/tCap /exitcodes /answers=maybe"), kExitStartupFailed);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text,
            "コマンドラインのスイッチが正しくありません。\n\nスイッチ："
            "\"/answers=maybe\"");
  EXPECT_EQ(platform.boxes[0].style, kMbIconError);
  EXPECT_EQ(caption, "Cap");
  EXPECT_EQ(Run("/quiet /passive"), 0);  // codes off: 0, as for every failure
  EXPECT_EQ(platform.boxes.size(), 1u);  // /quiet still answers the box
}

TEST_F(SwitchRunTest, HelpIsShownWithoutReadingTheSettingsFile) {
  dir.Write("setup.ini", "[UPDATER]\nNAME=N\nPROC=A\n[A]\nMODE=MAKEDIR\n"
                         "DIR=" + dir / "made" + "\n");
  EXPECT_EQ(Run("/exitcodes /tHelp -HELP"), 0);
  EXPECT_FALSE(dir.Exists("made"));
  EXPECT_TRUE(platform.boxes.empty());  // printed on POSIX, not a box
  EXPECT_EQ(caption, "Help");
  setenv("UPDATER_TRANSCRIPT", (dir / "h.jsonl").c_str(), 1);
  EXPECT_EQ(Run("/? /quiet"), 0);
  const std::string lines = dir.Read("h.jsonl");
  EXPECT_NE(lines.find("\"icon\":\"information\",\"buttons\":\"ok\""),
            std::string::npos);
  EXPECT_NE(lines.find("/answers="), std::string::npos);
  EXPECT_NE(lines.find("\"outcome\":\"not-started\",\"code\":0"),
            std::string::npos);
}

}  // namespace
