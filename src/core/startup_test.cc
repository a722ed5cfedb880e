#include "core/startup.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/code_page.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "platform/file_system_forwarder.h"
#include "run/rollback.h"
#include "run/runtime.h"

namespace {

std::string Option(const char* commandLine, char letter, bool* found = nullptr) {
  StrBuf out;
  bool present =
      GetCommandLineOption(StrBuf(commandLine), letter, out, CodePage());
  if (found != nullptr) *found = present;
  return out.Text();
}

TEST(CommandLineOption, ValueRulesOfTheTwoPrefixes) {
  EXPECT_EQ(Option("/t\"My Update\"", 't'), "My Update");
  EXPECT_EQ(Option("/tMy Update", 't'), "My");
  EXPECT_EQ(Option("-tSetup", 't'), "Setup");
  EXPECT_EQ(Option("/tA /tB", 't'), "A");
  EXPECT_EQ(Option("/iupdate.ini /tSetup", 'i'), "update.ini");
  EXPECT_EQ(Option("/iupdate.ini /tSetup", 't'), "Setup");
  // The key is found anywhere, also inside another option's value.
  EXPECT_EQ(Option("/iC:/temp/u.ini", 't'), "emp/u.ini");
  // "-" is tried only when "/" yields nothing.
  EXPECT_EQ(Option("-tDash /tSlash", 't'), "Slash");
}

TEST(CommandLineOption, AbsentOrEmpty) {
  bool found = true;
  EXPECT_EQ(Option("/TSetup", 't', &found), "");
  EXPECT_FALSE(found);
  EXPECT_EQ(Option("", 't', &found), "");
  EXPECT_FALSE(found);
  // A blank right after the letter: present, with an empty value.
  EXPECT_EQ(Option("/t Setup", 't', &found), "");
  EXPECT_TRUE(found);
}

TEST(CommandLineOption, LongCommandLine) {
  // 32 KB of words and quotes around the options.
  std::string line;
  while (line.size() < 32 * 1024) line += "word \"quoted text\" ";
  std::string withOptions = line + "/t\"Long Caption\" " + line + "/iu.ini";
  EXPECT_EQ(Option(withOptions.c_str(), 't'), "Long Caption");
  EXPECT_EQ(Option(withOptions.c_str(), 'i'), "u.ini");
  std::string longValue = "/t" + std::string(40000, 'x');
  EXPECT_EQ(Option(longValue.c_str(), 't').size(), 40000u);
}

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : rt(platform) { platform.modulePath = dir / "setup.exe"; }
  std::string LastBox() const {
    return platform.boxes.empty() ? "" : platform.boxes.back().text;
  }
  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(StartupTest, MissingSettingsFileShowsMessage1WithThePath) {
  EXPECT_FALSE(Startup(rt, ""));
  EXPECT_EQ(std::string(rt.SettingsPath.Text()), dir / "setup.ini");
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(LastBox().find("\"" + dir / "setup.ini" + "\""), std::string::npos);
  EXPECT_EQ(platform.boxes[0].style, kMbIconError);
  EXPECT_EQ(platform.boxes[0].caption, "ソルベア アップデータ");
}

TEST_F(StartupTest, SettingsPathRules) {
  dir.Write("sub/u.ini", "[UPDATER]\nNAME=\nPROC=A\n");
  EXPECT_TRUE(Startup(rt, "/isub/u.ini /tCaption"));
  EXPECT_EQ(std::string(rt.SettingsPath.Text()), dir / "sub/u.ini");
  EXPECT_STREQ(rt.Caption.Text(), "Caption");
  EXPECT_STREQ(rt.UpdaterProc.Text(), "A");

  // An absolute value is still taken relative to the program's directory.
  Runtime other(platform);
  EXPECT_FALSE(Startup(other, "/i/etc/u.ini"));
  EXPECT_EQ(std::string(other.SettingsPath.Text()), dir / "/etc/u.ini");

  // A program name without an extension gets ".ini" appended.
  platform.modulePath = dir / "setup";
  dir.Write("setup.ini", "[UPDATER]\nNAME=\nPROC=A\n");
  Runtime plain(platform);
  EXPECT_TRUE(Startup(plain, ""));
  EXPECT_EQ(std::string(plain.SettingsPath.Text()), dir / "setup.ini");
}

TEST_F(StartupTest, NameReplacesTheCaptionOnlyWhenNotEmpty) {
  dir.Write("setup.ini", "[UPDATER]\nNAME=Product 2.0\nPROC=A\n");
  EXPECT_TRUE(Startup(rt, "/tFromCommandLine"));
  EXPECT_STREQ(rt.Caption.Text(), "Product 2.0");

  dir.Write("setup.ini", "[UPDATER]\nNAME=\nPROC=A\n");
  Runtime keep(platform);
  EXPECT_TRUE(Startup(keep, "/tFromCommandLine"));
  EXPECT_STREQ(keep.Caption.Text(), "FromCommandLine");
}

TEST_F(StartupTest, MissingOrNoDataKeyShowsMessage2) {
  dir.Write("setup.ini", "[UPDATER]\nNAME=x\nPROC=no_data\n");
  EXPECT_FALSE(Startup(rt, ""));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(LastBox().find("セクション：\"UPDATER\"\nパラメータ：\"PROC\""),
            std::string::npos);
  // Message 2 already carries the caption of the command line or default.
  EXPECT_EQ(platform.boxes[0].caption, "ソルベア アップデータ");
}

TEST_F(StartupTest, RunProgramReturnsZeroAndWritesTheOutcome) {
  std::string transcript = dir / "t.jsonl";
  setenv("UPDATER_TRANSCRIPT", transcript.c_str(), 1);
  setenv("UPDATER_ANSWERS", "", 1);
  EXPECT_EQ(RunProgram(rt, ""), 0);
  unsetenv("UPDATER_TRANSCRIPT");
  unsetenv("UPDATER_ANSWERS");
  std::string lines = dir.Read("t.jsonl");
  EXPECT_NE(lines.find("\"event\":\"box\""), std::string::npos);
  EXPECT_NE(
      lines.find("{\"event\":\"end\",\"outcome\":\"not-started\",\"code\":0}"),
      std::string::npos);
  EXPECT_TRUE(platform.boxes.empty());  // answered, not shown
}

// The outcome exit codes: asked for by EXITCODE=1 or by UPDATER_EXITCODE=1,
// else always 0; a value of EXITCODE that is no choice is message 2 and
// 1620. Each row runs a whole settings file unattended.
TEST(OutcomeExitCodes, EachOutcomeHasItsCode) {
  struct Row {
    const char* exitCode;  // the line in UPDATER, or "" for none
    const char* procedure;  // section A
    const char* environment;  // UPDATER_EXITCODE, or null
    int code;
  };
  const char* const ok = "[A]\nMODE=EXIST\nFILE=<Src>\n";
  const char* const abort = "[A]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=Go?\nISABORT=0,1\n";
  const char* const fail = "[A]\nMODE=COPY\nFROM=<Src>/none\nTO=<Src>/x\n";
  const Row rows[] = {
      {"", ok, nullptr, 0},          {"", fail, nullptr, 0},
      {"EXITCODE=0\n", fail, nullptr, 0}, {"EXITCODE=\n", fail, nullptr, 0},
      {"EXITCODE=1\n", ok, nullptr, 0},   {"EXITCODE=1\n", abort, nullptr, 1602},
      {"EXITCODE=1\n", fail, nullptr, 1603},
      {"EXITCODE=' 1 '\n", fail, nullptr, 1603},
      {"EXITCODE=2\n", ok, nullptr, 1620},  {"EXITCODE=yes\n", ok, nullptr, 1620},
      {"EXITCODE=NO_DATA\n", fail, nullptr, 0},
      {"", fail, "1", 1603},         {"", abort, "1", 1602},
      {"", fail, "0", 0},            {"EXITCODE=0\n", fail, "1", 1603},
  };
  for (const Row& row : rows) {
    TestDir dir;
    dir.Write("updater.ini", std::string("[UPDATER]\nNAME=T\nPROC=A\n") +
                                 row.exitCode + row.procedure);
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    platform.boxAnswers = {kIdNo};
    Runtime rt(platform);
    if (row.environment != nullptr) setenv("UPDATER_EXITCODE", row.environment, 1);
    EXPECT_EQ(RunProgram(rt, ""), row.code) << row.exitCode << row.procedure;
    unsetenv("UPDATER_EXITCODE");
    if (row.code == 1620) {
      EXPECT_NE(platform.boxes.at(0).text.find("EXITCODE"), std::string::npos);
    }
  }
  // Start-up failures: NAME missing with EXITCODE=1; no settings file at all
  // with the codes asked for from outside.
  TestDir dir;
  dir.Write("updater.ini", "[UPDATER]\nEXITCODE=1\nPROC=A\n");
  FakePlatform platform;
  platform.modulePath = dir / "updater";
  Runtime rt(platform);
  EXPECT_EQ(RunProgram(rt, ""), 1620);
  FakePlatform missing;
  missing.modulePath = dir / "other";
  Runtime rtMissing(missing);
  setenv("UPDATER_EXITCODE", "1", 1);
  EXPECT_EQ(RunProgram(rtMissing, ""), 1619);
  unsetenv("UPDATER_EXITCODE");
}

}  // namespace

namespace {

// ROLLBACK takes the words YES and NO besides 1 and 0; any other value is
// message 2 naming it, and start-up fails.
TEST(RollbackKey, ChoicesAndBadValues) {
  const struct {
    const char* line;
    bool started;
    bool on;
  } rows[] = {
      {"", true, false},           {"ROLLBACK=\n", true, false},
      {"ROLLBACK=0\n", true, false}, {"ROLLBACK= No \n", true, false},
      {"ROLLBACK=1\n", true, true},  {"ROLLBACK=yes\n", true, true},
      {"ROLLBACK='YES'\n", true, true}, {"ROLLBACK=2\n", false, false},
      {"ROLLBACK=on\n", false, false},  {"ROLLBACK=y\n", false, false},
  };
  for (const auto& row : rows) {
    TestDir dir;
    dir.Write("updater.ini",
              std::string("[UPDATER]\nNAME=T\nPROC=A\n") + row.line);
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    Runtime rt(platform);
    EXPECT_EQ(Startup(rt, ""), row.started) << row.line;
    EXPECT_EQ(rt.rollbackWanted, row.on) << row.line;
    if (!row.started) {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_NE(platform.boxes[0].text.find(
                    "セクション：\"UPDATER\"\nパラメータ：\"ROLLBACK\""),
                std::string::npos);
    }
  }
}

}  // namespace

namespace {

// INUSE: off, CLOSE, RESTART or both in either order, blanks and case
// ignored; any other value is message 2 naming it, and start-up fails.
TEST(InUseKey, ChoicesAndBadValues) {
  const struct {
    const char* line;
    bool started;
    bool close;
    bool restart;
  } rows[] = {
      {"", true, false, false},
      {"INUSE=\n", true, false, false},
      {"INUSE=0\n", true, false, false},
      {"INUSE= no \n", true, false, false},
      {"INUSE=CLOSE\n", true, true, false},
      {"INUSE=restart\n", true, false, true},
      {"INUSE= Restart , close \n", true, true, true},
      {"INUSE='CLOSE,RESTART'\n", true, true, true},
      {"INUSE=1\n", false, false, false},
      {"INUSE=YES\n", false, false, false},
      {"INUSE=CLOSE,\n", false, false, false},
      {"INUSE=CLOSE,CLOSE\n", false, false, false},
      {"INUSE=CLOSE;RESTART\n", false, false, false},
      {"INUSE=CLOSE,RESTART,CLOSE\n", false, false, false},
      {"INUSE=RE START\n", false, false, false},
  };
  for (const auto& row : rows) {
    TestDir dir;
    dir.Write("updater.ini",
              std::string("[UPDATER]\nNAME=T\nPROC=A\nEXITCODE=1\n") +
                  row.line + "[A]\nMODE=EXIST\nFILE=<Src>\n");
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    Runtime rt(platform);
    EXPECT_EQ(Startup(rt, ""), row.started) << row.line;
    EXPECT_EQ(rt.inUseClose, row.close) << row.line;
    EXPECT_EQ(rt.inUseRestart, row.restart) << row.line;
    if (!row.started) {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_NE(platform.boxes[0].text.find(
                    "セクション：\"UPDATER\"\nパラメータ：\"INUSE\""),
                std::string::npos);
      FakePlatform again;
      again.modulePath = dir / "updater";
      Runtime run(again);
      EXPECT_EQ(RunProgram(run, ""), 1620) << row.line;
    }
  }
}

// A completed run that left changes for the restart ends with 3010 when
// the exit codes are asked for, and 0 otherwise; a stopped one as before.
TEST(InUseKey, RestartRequiredExitCode) {
  FakePlatform platform;
  Runtime rt(platform);
  rt.restartRequired = true;
  EXPECT_EQ(OutcomeExitCode(rt, "completed"), 0);
  rt.outcomeExitCodes = true;
  EXPECT_EQ(OutcomeExitCode(rt, "completed"), 3010);
  EXPECT_EQ(OutcomeExitCode(rt, "stopped"), 1603);
}

// A second start of a settings file whose journaled run is live: with
// ROLLBACK=1 it stops before anything runs (message 20, 1618); without,
// it runs and leaves the live journal alone.
// Memory that runs out in the middle of a procedure stops the run with
// message 3 naming the procedure, and under rollback what the run changed
// is undone, where the program used to end without a word.
class MemoryRunsOut : public FileSystemForwarder {
 public:
  using FileSystemForwarder::FileSystemForwarder;
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    if (std::strstr(pattern, "victim") != nullptr) throw std::bad_alloc();
    return FileSystemForwarder::StartSearch(pattern, first);
  }
};

TEST(OutOfMemory, InAProcedureStopsTheRunWithMessage3) {
  TestDir state;
  setenv("UPDATER_STATE_HOME", state.path().c_str(), 1);
  for (const bool rollback : {false, true}) {
    TestDir dir;
    dir.Write("new.txt", "new");
    dir.Write("victim.txt", "kept");
    dir.Write("updater.ini",
              std::string("[UPDATER]\nNAME=T\nPROC=A,Gone\nEXITCODE=1\n") +
                  (rollback ? "ROLLBACK=1\n" : "") +
                  "[A]\nMODE=COPY\nFROM=<Src>/new.txt\nTO=<Src>/out.txt\n"
                  "[Gone]\nMODE=DELETE\nFILE=<Src>/victim.txt\n");
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    MemoryRunsOut scarce(platform);
    RollbackPlatform journaled(scarce, platform);
    Platform run = platform.WithFiles(journaled);
    Runtime rt(run);
    rt.rollback = &journaled;
    EXPECT_EQ(RunProgram(rt, ""), 1603);
    ASSERT_FALSE(platform.boxes.empty());
    EXPECT_NE(platform.boxes[0].text.find("\"Gone\""), std::string::npos);
    EXPECT_EQ(dir.Read("victim.txt"), "kept");
    EXPECT_EQ(dir.Exists("out.txt"), !rollback);
  }
  unsetenv("UPDATER_STATE_HOME");
}

TEST(SecondStart, WhileAJournaledRunHoldsTheSettingsFile) {
  TestDir dir;
  TestDir state;
  setenv("UPDATER_STATE_HOME", state.path().c_str(), 1);
  dir.Write("new.txt", "new");
  const std::string body =
      "NAME=T\nPROC=A\nEXITCODE=1\n[A]\nMODE=COPY\nFROM=<Src>/new.txt\n"
      "TO=<Src>/out.txt\n";
  dir.Write("updater.ini", "[UPDATER]\nROLLBACK=1\n" + body);
  FakePlatform first;
  RollbackPlatform live(first, first);
  ASSERT_EQ(live.Take((dir / "updater.ini").c_str()),
            RollbackPlatform::Claim::kTaken);
  ASSERT_TRUE(live.Begin());
  for (const bool rollback : {true, false}) {
    dir.Write("updater.ini",
              std::string("[UPDATER]\n") + (rollback ? "ROLLBACK=1\n" : "") +
                  body);
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    RollbackPlatform journaled(platform, platform);
    Platform run = platform.WithFiles(journaled);
    Runtime rt(run);
    rt.rollback = &journaled;
    EXPECT_EQ(RunProgram(rt, ""), rollback ? 1618 : 0);
    EXPECT_EQ(dir.Exists("out.txt"), !rollback);
    if (rollback) {
      ASSERT_EQ(platform.boxes.size(), 1u);
      EXPECT_NE(platform.boxes[0].text.find(dir / "updater.ini"),
                std::string::npos);
    }
    EXPECT_NE(first.GetFileAttrs(live.JournalPath().c_str()),
              kInvalidAttributes);
  }
  EXPECT_TRUE(live.Commit());
  live.Release();
  // A run without rollback, where no journal was ever made, makes nothing
  // in the account's state.
  TestDir fresh;
  const std::string base = fresh / "state";
  setenv("UPDATER_STATE_HOME", base.c_str(), 1);
  dir.Write("updater.ini", "[UPDATER]\n" + body);
  FakePlatform platform;
  platform.modulePath = dir / "updater";
  RollbackPlatform journaled(platform, platform);
  Platform run = platform.WithFiles(journaled);
  Runtime rt(run);
  rt.rollback = &journaled;
  EXPECT_EQ(RunProgram(rt, ""), 0);
  EXPECT_EQ(platform.GetFileAttrs(base.c_str()), kInvalidAttributes);
  unsetenv("UPDATER_STATE_HOME");
}

}  // namespace
