#include "check/checker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "commands/dispatch.h"
#include "core/startup.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const char kHead[] = "[UPDATER]\nNAME=Test\nPROC=A\n";

class CheckerTest : public ::testing::Test {
 protected:
  CheckerTest() { dir.Write("s.txt", "source"); }

  // Checks the settings text written as updater.ini; the findings as
  // "severity kind [section] key" lines.
  Strings Check(const std::string& settings, const char* commandLine = "") {
    dir.Write("updater.ini", settings);
    checker.reset(new Checker(recorder));
    EXPECT_TRUE(checker->Check((dir / "updater.ini").c_str(), commandLine));
    Strings lines;
    for (const Finding& f : checker->findings())
      lines.push_back(std::string(SeverityName(f.severity)) + " " + f.kind +
                      " [" + f.section + "] " + f.key);
    return lines;
  }
  const Finding& Only() const {
    EXPECT_EQ(checker->findings().size(), 1u);
    return checker->findings().front();
  }
  Strings ErrorMessages() const {
    Strings messages;
    for (const Finding& f : checker->findings())
      if (f.severity == Severity::kError) messages.push_back(f.message);
    return messages;
  }

  // Runs the updater itself on the same file; the texts of its error boxes.
  Strings Run(const char* commandLine = "") {
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    Runtime rt(platform);
    RunProgram(rt, commandLine);
    Strings errors;
    for (const auto& box : platform.boxes)
      if ((box.style & kMbIconMask) == kMbIconError) errors.push_back(box.text);
    return errors;
  }

  TestDir dir;
  FakePlatform reader;
  RecordingPlatform recorder{reader};
  std::unique_ptr<Checker> checker;
};

TEST_F(CheckerTest, CleanScriptHasNoFinding) {
  const Strings found = Check(
      "; a comment\n"
      "[UPDATER]\nNAME=Clean\nPROC=Check, Branch, Ask, Wait\n"
      "[DEFINE]\n; mine\n<Data>=<Src>/data\n"
      "[Check]\nMODE=EXIST\nFILE=<Src>/s.txt\n"
      "[Branch]\nMODE=switch\nPROC=check\n1=Copy, Attr, Sum\n0=\n"
      "[Copy]\nMODE=COPY\nFROM=<Src>/{?Param\\1}\nTO=<Data>/s.txt\n"
      "[Attr]\nMODE=ATTR\nFILE=<Src>/s.txt\nARG=0x21\n"
      "[Sum]\nMODE=CRC\nFILE=<Src>/s.txt, <Src>/s.txt\nTYPE=AND\nCRC=1a2B3c4d,\n"
      "[Ask]\nMODE=MSGBOX\nFLAG=Check,1\nTYPE=question\nTEXT=Go on?\n"
      "ISABORT=0, 1\n"
      "[Wait]\nMODE=WAITAPP\nAPP=a.exe, b.exe\nTICK=-1, 500\n",
      "/tCaption s.txt");
  EXPECT_EQ(found, Strings{});
  EXPECT_TRUE(recorder.refused.empty());
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(checker->caption(), "Clean");
}

// One faulty script per kind of finding: exactly that finding.
TEST_F(CheckerTest, EachFaultGivesExactlyItsFinding) {
  struct Case {
    std::string settings;
    std::string finding;
  } cases[] = {
      {"[UPDATER]\nPROC=A\n[A]\nMODE=OSVER\n", "error missing-key [UPDATER] NAME"},
      {kHead, "error missing-section [A] MODE"},
      {std::string(kHead) + "[A]\nFILE=x\n", "error missing-key [A] MODE"},
      {std::string(kHead) + "[A]\nMODE=COPY\nFROM=<Src>/s.txt\n",
       "error missing-key [A] TO"},
      {std::string(kHead) + "[A]\nMODE=COPIES\n", "error unknown-mode [A] MODE"},
      {"[UPDATER]\nNAME=\nPROC=\n", "error empty-list [UPDATER] PROC"},
      {"[UPDATER]\nNAME=\nPROC=A,\n[A]\nMODE=OSVER\n",
       "error empty-name [UPDATER] PROC"},
      {std::string(kHead) + "[A]\nMODE=DELETE\nFILE=\n", "error empty-list [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTIONS\nTEXT=x\nISABORT=0,0\n",
       "error bad-type [A] TYPE"},
      {"[UPDATER]\nNAME=\nPROC=A\n[A]\nMODE=SWITCH\nPROC=B\n0=B\n1=\n[B]\nMODE=OSVER\n",
       "error unknown-procedure [A] PROC"},
      {std::string(kHead) + "[A]\nMODE=MSGBOX\nFLAG=Nope,1\nTYPE=ERROR\nTEXT=x\nISABORT=0,0\n",
       "error unknown-procedure [A] FLAG"},
      {std::string(kHead) + "[A]\nMODE=LAUNCH\nFILE=app.exe\nPARAM=\nISWAIT=1\n",
       "error no-folder [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE=<Nope>/x\n",
       "warning unexpanded-symbol [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE={?App\\no-such-program-q7}/x\n",
       "warning unexpanded-query [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE=x\nFORM=y\n",
       "warning unread-key [A] FORM"},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE=x\nfile=y\n",
       "warning duplicate-key [A] file"},
      {std::string(kHead) + "[A]\nMODE=MOVE\nFROM=<Src>/no.txt\nTO=<Src>/b.txt\n",
       "warning missing-source [A] FROM"},
      {std::string(kHead) + "[A]\nMODE=LAUNCH\nFILE=<Src>/no-app\nPARAM=\nISWAIT=1\n",
       "warning missing-source [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=COPY\nFROM=<Src>/s.txt,<Src>/s.txt\nTO=<Src>/b.txt\n",
       "warning short-list [A] TO"},
      {std::string(kHead) + "[A]\nMODE=ATTR\nFILE=<Src>/s.txt\nARG=xyz\n",
       "warning not-a-number [A] ARG"},
      {std::string(kHead) + "[A]\nMODE=CRC\nFILE=<Src>/s.txt\nTYPE=\nCRC=0xZZ\n",
       "warning not-a-number [A] CRC"},
      {std::string(kHead) + "[A]\nMODE=WAITAPP\nAPP=x\nTICK=soon\n",
       "warning not-a-number [A] TICK"},
      {std::string(kHead) + "[A]\nMODE=WAITAPP\nAPP=x\nTICK=4294967296\n",
       "warning tick-range [A] TICK"},
      {std::string(kHead) + "[A]\nMODE=WAITAPP\nAPP=x,y\nTICK=-1,-2\n",
       "warning tick-range [A] TICK"},
      {std::string(kHead) + "[A]\nMODE=DELETE\nFILE=<Src>/d/{?Param\\1}/*\n",
       "error empty-component [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=ATTR\nFILE=<Src>//s.txt\nARG=1\n",
       "error empty-component [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=LAUNCH\nFILE=<Src>/s.txt\nPARAM=\nISWAIT=yes\n",
       "warning not-a-number [A] ISWAIT"},
      {std::string(kHead) + "[A]\nMODE=MSGBOX\nFLAG=\nTYPE=ERROR\nTEXT=x\nISABORT=1\n",
       "warning isabort [A] ISABORT"},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE=/a/../../x\n", "warning dot-dot [A] FILE"},
      // On Linux a "\\" is part of a name (query blocks keep theirs).
      {std::string(kHead) + "[A]\nMODE=COPY\nFROM=<Src>/s.txt\nTO=<Src>\\b.txt\n",
       "warning separator [A] TO"},
      {std::string(kHead) + "[A]\nMODE=OSVER\n[A]\nMODE=COPY\n",
       "warning duplicate-section [A] "},
      {std::string(kHead) + "[A]\nMODE=OSVER\n[Z]\nMODE=OSVER\n", "note unreached [Z] "},
      {"[UPDATER]\nNAME=\nPROC=C,A\n[C]\nMODE=OSVER\n"
       "[A]\nMODE=SWITCH\nPROC=C\n0=\n1=c , a\n",
       "warning cycle [A] 1"},
      {"[UPDATER]\nNAME=\nPROC=A,C\n[C]\nMODE=OSVER\n"
       "[A]\nMODE=SWITCH\nPROC=C\n0=\n1=C\n",
       "warning constant-result [A] PROC"},
      {std::string(kHead) + "[A]\nMODE=MSGBOX\nFLAG=A\nTYPE=ERROR\nTEXT=x\nISABORT=0,0\n",
       "warning flag-without-value [A] FLAG"},
      {std::string(kHead) + "[A]\nMODE=OSVER\n[DEFINE]\nApp=x\n",
       "warning unusable-symbol [DEFINE] App"},
      {std::string(kHead) + "[A]\nMODE=OSVER\n[DEFINE]\n<App> =x\n",
       "warning unusable-symbol [DEFINE] <App> "},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE='" + std::string(259, 'x') + "'\n",
       "warning value-cut [A] FILE"},
      {std::string(kHead) + "[A]\nMODE=EXIST\nFILE=x\nFILE x\n", "warning not-a-key [A] FILE x"},
      {std::string(kHead) + "[A]\nMODE=OSVER\n[DEFINE]\n<sys>=x\n",
       "warning builtin-symbol [DEFINE] <sys>"},
      {"[UPDATER]\nNAME=\nPROC=C,A\n[C]\nMODE=OSVER\n"
       "[A]\nMODE=MSGBOX\nFLAG=C,2\nTYPE=ERROR\nTEXT=x\nISABORT=0,0\n",
       "warning flag-value [A] FLAG"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Check(c.settings), Strings{c.finding}) << c.settings;
}

TEST_F(CheckerTest, ErrorsCarryTheMessageOfTheRun) {
  Check(std::string(kHead) + "[A]\nMODE=COPY\nFROM=<Src>/s.txt\n");
  EXPECT_EQ(Only().message,
            "設定ファイルのフォーマットが正しくありません。\n\n"
            "セクション：\"A\"\nパラメータ：\"TO\"");
  Check(std::string(kHead) + "[A]\nMODE=MAKEDIR\nDIR=\n");
  EXPECT_EQ(Only().message,
            "設定パラメータのアイテム数が正しくありません。\n\n"
            "セクション：\"A\"\nパラメータ：\"DIR\"");
  Check(std::string(kHead) + "[A]\nMODE=LAUNCH\nFILE=<Src>/s.txt, tool\nPARAM=-a, -b\nISWAIT=0\n");
  EXPECT_EQ(Only().message,
            "アプリケーションの起動に失敗しました。\n\n"
            "ファイル：\"tool\"\nパラメータ：\"-b\"");
}

TEST_F(CheckerTest, EveryMissingKeyOfASectionIsFound) {
  EXPECT_EQ(Check(std::string(kHead) + "[A]\nMODE=MSGBOX\nTEXT=x\n"),
            (Strings{"error missing-key [A] FLAG", "error missing-key [A] TYPE",
                     "error missing-key [A] ISABORT"}));
}

TEST_F(CheckerTest, FaultsInBothBranchesAreFoundWhicheverIsTaken) {
  const std::string settings =
      "[UPDATER]\nNAME=\nPROC=Check, Branch\n"
      "[Check]\nMODE=EXIST\nFILE=<Src>/s.txt\n"
      "[Branch]\nMODE=SWITCH\nPROC=Check\n1=Fine\n0=Bad, Deeper\n"
      "[Fine]\nMODE=OSVER\n"
      "[Bad]\nMODE=COPIES\n"
      "[Deeper]\nMODE=SWITCH\nPROC=Deeper2\n0=\n1=Deeper2\n"
      "[Deeper2]\nMODE=EXIST\nFILE=\n";
  EXPECT_EQ(Check(settings), (Strings{"error unknown-mode [Bad] MODE",
                                      "error unknown-procedure [Deeper] PROC",
                                      "error empty-list [Deeper2] FILE"}));
  // The run takes list "1" and sees none of them.
  EXPECT_EQ(Run(), Strings{});
}

// What the checker calls an error is what a run shows first.
TEST_F(CheckerTest, VerdictAgreesWithARun) {
  const std::string scripts[] = {
      std::string(kHead) + "[A]\nMODE=FOO\n",
      "[UPDATER]\nNAME=\nPROC=A, B\n[A]\nMODE=OSVER\n[B]\nMODE=DATE\nFILE=x\n",
      "[UPDATER]\nNAME=\nPROC=A,,B\n[A]\nMODE=OSVER\n[B]\nMODE=OSVER\n",
      "[UPDATER]\nPROC=A\n",
      std::string(kHead) + "[A]\nMODE=SWITCH\nPROC=A\n1=\n0=B\n[B]\nmode=verify\nARG1=\n",
      std::string(kHead) + "[A]\nMODE=SWITCH\nPROC=A\n1=\n0=B\n[B]\nMODE=MSGBOX\n"
                           "FLAG=A,0\nTYPE=x\nTEXT=\nISABORT=\n",
      std::string(kHead) + "[A]\nMODE=APPEXIST\nAPP=\n",
  };
  for (const std::string& script : scripts) {
    Check(script);
    const Strings shown = Run();
    ASSERT_EQ(shown.size(), 1u) << script;
    const Strings found = ErrorMessages();
    EXPECT_NE(std::find(found.begin(), found.end(), shown[0]), found.end())
        << script << "\nthe run shows: " << shown[0];
  }
}

// A chain of lists: level d holds Td (its result is 1) and Sd, whose list
// "1" is level d + 1; the last level holds only its T.
std::string Chain(int levels) {
  std::string text = "[UPDATER]\nNAME=\nPROC=T1,S1\n";
  for (int d = 1; d <= levels; ++d) {
    const std::string n = std::to_string(d), next = std::to_string(d + 1);
    text += "[T" + n + "]\nMODE=OSVER\n";
    if (d == levels) break;
    text += "[S" + n + "]\nMODE=SWITCH\nPROC=T" + n + "\n0=\n1=T" + next +
            (d + 1 == levels ? "\n" : ",S" + next + "\n");
  }
  return text;
}

TEST_F(CheckerTest, NestingBeyondTheBoundIsAnError) {
  EXPECT_EQ(Check(Chain(kMaxLevels)), Strings{});
  EXPECT_EQ(Run(), Strings{});

  EXPECT_EQ(Check(Chain(kMaxLevels + 1)), Strings{"error too-deep [S64] 1"});
  const Strings shown = Run();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(Only().message, shown[0]);
}

// A list that is reached at two depths counts at the deeper one.
TEST_F(CheckerTest, NestingCountsTheDeepestWayToAList) {
  std::string text = Chain(kMaxLevels);
  text += "[Far]\nMODE=SWITCH\nPROC=Far\n0=Last\n1=\n[Last]\nMODE=OSVER\n";
  // Level 2 and level 64 both run the list "Far".
  text.replace(text.find("1=T2,S2"), 7, "1=T2,S2,Far");
  text.replace(text.find("1=T64\n"), 6, "1=T64,Far\n");
  const Strings found = Check(text);
  EXPECT_EQ(found.back(), "error too-deep [Far] 0");
}

TEST_F(CheckerTest, ChecksChangeNothing) {
  dir.Write("tree/a.txt", "a");
  dir.Write("ro.txt", "r");
  chmod((dir / "ro.txt").c_str(), 0444);
  const std::string settings =
      "[UPDATER]\nNAME=\nPROC=Copy,Move,Delete,Attr,Dir,Link,Launch,Wait,Ask\n"
      "[Copy]\nMODE=COPY\nFROM=<Src>/tree\nTO=<Src>/copy\n"
      "[Move]\nMODE=MOVE\nFROM=<Src>/s.txt\nTO=<Src>/moved.txt\n"
      "[Delete]\nMODE=DELETE\nFILE=<Src>/tree\n"
      "[Attr]\nMODE=ATTR\nFILE=<Src>/ro.txt\nARG=0\n"
      "[Dir]\nMODE=MAKEDIR\nDIR=<Src>/new/deep\n"
      "[Link]\nMODE=LINK\nSRC=<Src>/s.txt\nPARAM=\nSHOWCMD=1\nDST=<Src>/lnk/s\n"
      "[Launch]\nMODE=LAUNCH\nFILE=/bin/sh\nPARAM=-c \"touch started\"\nISWAIT=1\n"
      "[Wait]\nMODE=WAITAPP\nAPP=sh\nTICK=-1\n"
      "[Ask]\nMODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=x\nISABORT=0,1\n";
  auto tree = [&] {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
      const std::string rel = entry.path().string().substr(dir.path().size());
      entries[rel] = entry.is_directory() ? "/" : dir.Read(rel.substr(1));
      entries[rel] += std::to_string(static_cast<int>(entry.status().permissions()));
    }
    return entries;
  };
  dir.Write("updater.ini", settings);
  const auto before = tree();
  EXPECT_EQ(Check(settings), Strings{});
  EXPECT_EQ(tree(), before);
  EXPECT_TRUE(recorder.refused.empty());
}

TEST_F(CheckerTest, ArgumentsStandForTheCommandLine) {
  const std::string settings = std::string(kHead) +
                               "[A]\nMODE=COPY\nFROM=<Src>/{?Param\\-1}\nTO=<Src>/b\n";
  EXPECT_EQ(Check(settings, "/tX s.txt"), Strings{});
  EXPECT_EQ(Check(settings, "/tX"), Strings{"warning missing-source [A] FROM"});
  // The caption: /t, replaced by a NAME that is not empty.
  Check("[UPDATER]\nNAME=\nPROC=A\n[A]\nMODE=FOO\n", "/tMine");
  EXPECT_EQ(checker->caption(), "Mine");
}

TEST_F(CheckerTest, UnreadableFilesAreNotChecked) {
  Checker missing(recorder);
  EXPECT_FALSE(missing.Check((dir / "none.ini").c_str(), ""));
  Checker directory(recorder);
  EXPECT_FALSE(directory.Check(dir.path().c_str(), ""));
}

TEST(SettingsPath, MadeAbsoluteAsTheUpdaterKnowsIt) {
  auto path = [](const char* given, const char* cwd, const char* sep) {
    return std::string(SettingsFilePath(given, cwd, sep, CodePage()).Text());
  };
  EXPECT_EQ(path("u.ini", "/home/a", "/"), "/home/a/u.ini");
  EXPECT_EQ(path("../p/./u.ini", "/home/a", "/"), "/home/p/u.ini");
  EXPECT_EQ(path("/x//y/u.ini", "/home/a", "/"), "/x/y/u.ini");
  EXPECT_EQ(path("pkg/u.ini", "C:\\Work", "\\"), "C:\\Work\\pkg\\u.ini");
  EXPECT_EQ(path("D:/p/../u.ini", "C:\\Work", "\\"), "D:\\u.ini");
  EXPECT_EQ(path("\\p\\u.ini", "C:\\Work", "\\"), "C:\\p\\u.ini");
  EXPECT_EQ(path("\\\\srv\\share\\u.ini", "C:\\Work", "\\"),
            "\\\\srv\\share\\u.ini");
  EXPECT_EQ(path("..\\..\\..\\u.ini", "C:\\W", "\\"), "C:\\..\\..\\u.ini");
}

TEST(ProgramPath, BesideTheSettingsOrWhereTheIOptionPointsFrom) {
  auto program = [](const char* settings, const char* commandLine,
                    const char* sep) {
    return std::string(
        ProgramPathFor(settings, commandLine, sep, CodePage()).Text());
  };
  EXPECT_EQ(program("/p/setup.ini", "", "/"), "/p/setup");
  EXPECT_EQ(program("C:\\p\\setup.ini", "/tX", "\\"), "C:\\p\\setup.exe");
  EXPECT_EQ(program("C:\\p\\conf\\u.ini", "/iconf/U.INI", "\\"),
            "C:\\p\\u.exe");
  // A /i value that is not the file's own tail changes nothing.
  EXPECT_EQ(program("/p/conf/u.ini", "/iother.ini", "/"), "/p/conf/u");
  // Start-up, given that program path, reads the same settings file.
  for (const char* sep : {"/", "\\"}) {
    const StrBuf settings(sep[0] == '/' ? "/p/setup.ini" : "C:\\p\\u.v.ini");
    const StrBuf modulePath =
        ProgramPathFor(settings, StrBuf(), sep, CodePage());
    EXPECT_STREQ(SettingsPathFor(modulePath, StrBuf(), sep, CodePage()).Text(),
                 settings.Text());
  }
}

}  // namespace

namespace {

// Items that name a root here, or would where a folder symbol or a query
// gives nothing, are errors with the message the run would show; a DELETE
// item ending with a separator is a warning. Nothing is run.
TEST_F(CheckerTest, ItemsThatNameOrMayNameARoot) {
  const Strings found = Check(
      "[UPDATER]\nNAME=T\nPROC=Del, Attr, Move, Copy, Fine\n"
      "[DEFINE]\n<Base>=<Desktop>/..\n"
      "[Del]\nMODE=DELETE\nFILE=/., <Desktop>/*, <Src>/data/{?Param\\1}/\n"
      "[Attr]\nMODE=ATTR\nFILE=<Base>/*\nARG=1\n"
      "[Move]\nMODE=MOVE\nFROM=/..\nTO=<Src>/x\n"
      "[Copy]\nMODE=COPY\nFROM=<Src>/s.txt\nTO={?Param\\2}/*.txt\n"
      "[Fine]\nMODE=DELETE\nFILE=<Src>/old, <Desktop>/App.lnk, *.tmp\n");
  EXPECT_EQ(found, (Strings{"error root [Del] FILE", "error root [Del] FILE",
                            "warning never-matches [Del] FILE",
                            "error root [Attr] FILE",
                            "warning dot-dot [Move] FROM",
                            "error root [Move] FROM", "error root [Copy] TO"}));
  EXPECT_EQ(ErrorMessages()[0],
            "ファイルの削除に失敗しました。\n\nファイル：\"/.\"");
  EXPECT_TRUE(recorder.refused.empty());
}

}  // namespace

namespace {

// EXITCODE is a key of UPDATER; a value that is no choice stops start-up.
TEST_F(CheckerTest, ExitCodeKey) {
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nEXITCODE=1\n[A]\nMODE=OSVER\n"),
            Strings{});
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nEXITCODE=yes\n[A]\nMODE=OSVER\n"),
            Strings{"error bad-value [UPDATER] EXITCODE"});
  EXPECT_EQ(Run(), Strings{ErrorMessages()[0]});
}

// So is PROGRESS, with the same choices.
TEST_F(CheckerTest, ProgressKey) {
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nPROGRESS=' 1 '\n[A]\nMODE=OSVER\n"),
            Strings{});
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nPROGRESS=on\n[A]\nMODE=OSVER\n"),
            Strings{"error bad-value [UPDATER] PROGRESS"});
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nEXITCODE=2\nPROGRESS=2\n"
                  "[A]\nMODE=OSVER\n"),
            (Strings{"error bad-value [UPDATER] EXITCODE",
                     "error bad-value [UPDATER] PROGRESS"}));
}

// ROLLBACK is known too, and takes YES and NO as well.
TEST_F(CheckerTest, RollbackKey) {
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nROLLBACK=Yes\n[A]\nMODE=OSVER\n"),
            Strings{});
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nROLLBACK=on\n[A]\nMODE=OSVER\n"),
            Strings{"error bad-value [UPDATER] ROLLBACK"});
}

// So is INUSE, with its words.
TEST_F(CheckerTest, InUseKey) {
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nINUSE=restart, CLOSE\n[A]\n"
                  "MODE=OSVER\n"),
            Strings{});
  EXPECT_EQ(Check("[UPDATER]\nNAME=T\nPROC=A\nINUSE=REBOOT\n[A]\nMODE=OSVER\n"),
            Strings{"error bad-value [UPDATER] INUSE"});
}

}  // namespace

// The checker reads the command line as the updater does: the switches of
// deployment tools are taken out before /t, /i and the query blocks see it.
TEST_F(CheckerTest, SwitchesAreTakenOutOfTheCommandLine) {
  const std::string settings =
      "[UPDATER]\nNAME=\nPROC=Copy\n"
      "[Copy]\nMODE=COPY\nFROM=<Src>/{?Param\\1}\nTO=<Src>/t.txt\n";
  EXPECT_EQ(Check(settings, "/quiet /tCaption /log=C:/temp/u.jsonl s.txt"),
            Strings{});
  EXPECT_EQ(checker->caption(), "Caption");
  EXPECT_NE(Check(settings, "/tCaption /logfile s.txt"), Strings{});
}
