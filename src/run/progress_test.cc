#include "run/progress.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "commands/file_tree.h"
#include "core/startup.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "run/runtime.h"

namespace {

using Strings = std::vector<std::string>;

// The key PROGRESS of section UPDATER, each value in a whole run: whether a
// progress display was opened, whether start-up stopped with message 2
// naming the key, and the exit code with the outcome codes on.
TEST(ProgressKey, ValuesOfTheKey) {
  struct Row {
    const char* line;  // in UPDATER; "" for none
    bool opened;
    int code;  // with EXITCODE=1
  };
  const Row rows[] = {
      {"", false, 0},           {"PROGRESS=\n", false, 0},
      {"PROGRESS=0\n", false, 0}, {"PROGRESS=NO_DATA\n", false, 0},
      {"PROGRESS=1\n", true, 0},  {"PROGRESS= 1 \n", true, 0},
      {"PROGRESS=' 1 '\n", true, 0}, {"PROGRESS=\"1\"\n", true, 0},
      {"PROGRESS=2\n", false, 1620}, {"PROGRESS=yes\n", false, 1620},
      {"PROGRESS=01\n", false, 1620}, {"PROGRESS=1 0\n", false, 1620},
  };
  for (const Row& row : rows) {
    TestDir dir;
    dir.Write("updater.ini",
              std::string("[UPDATER]\nNAME=Setup\nPROC=A\nEXITCODE=1\n") +
                  row.line + "[A]\nMODE=EXIST\nFILE=<Src>\n");
    FakePlatform platform;
    platform.modulePath = dir / "updater";
    Runtime rt(platform);
    EXPECT_EQ(RunProgram(rt, ""), row.code) << row.line;
    EXPECT_EQ(!platform.progress.empty(), row.opened) << row.line;
    if (row.opened) {
      EXPECT_EQ(platform.progress.front(), "open Setup");
      EXPECT_EQ(platform.progress.back(), "close");
    }
    if (row.code == 1620) {
      ASSERT_EQ(platform.boxes.size(), 1u) << row.line;
      EXPECT_NE(platform.boxes[0].text.find("UPDATER"), std::string::npos);
      EXPECT_NE(platform.boxes[0].text.find("PROGRESS"), std::string::npos);
    }
  }
}

// Without exit codes a bad value still stops start-up: nothing runs.
TEST(ProgressKey, BadValueRunsNothing) {
  TestDir dir;
  dir.Write("updater.ini",
            "[UPDATER]\nNAME=T\nPROC=A\nPROGRESS=on\n"
            "[A]\nMODE=MAKEDIR\nDIR=<Src>/made\n");
  FakePlatform platform;
  platform.modulePath = dir / "updater";
  Runtime rt(platform);
  EXPECT_EQ(RunProgram(rt, ""), 0);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_FALSE(PathExists(platform, (dir / "made").c_str()));
}

// A whole run with the display on: it opens with the caption, is cleared
// before each message box, and is closed at the end, before the program
// returns; the files are the same as without it.
TEST(ProgressRun, OpensClearsBeforeBoxesAndCloses) {
  TestDir dir;
  dir.Write("src/a.txt", "a");
  dir.Write("src/sub/b.txt", "b");
  dir.Write("updater.ini",
            "[UPDATER]\nNAME=Setup\nPROC=C,M\nPROGRESS=1\n"
            "[C]\nMODE=COPY\nFROM=<Src>/src\nTO=<Src>/dst\n"
            "[M]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=Done\nISABORT=0\n");
  FakePlatform platform;
  platform.modulePath = dir / "updater";
  Runtime rt(platform);
  RunProgram(rt, "");
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "Done");
  ASSERT_GE(platform.progress.size(), 3u);
  EXPECT_EQ(platform.progress.front(), "open Setup");
  EXPECT_EQ(platform.progress.back(), "close");
  EXPECT_NE(std::find(platform.progress.begin(), platform.progress.end(),
                      "clear"),
            platform.progress.end());
  EXPECT_TRUE(PathExists(platform, (dir / "dst/sub/b.txt").c_str()));
}

class ProgressTest : public ::testing::Test {
 protected:
  ProgressTest() {
    platform.fakeClock = true;
    progress.Open(platform, platform.codePage(), "Cap");
  }
  // Lets the redraw interval pass, so that the next report draws.
  void Wait() {
    platform.steadyClock +=
        std::chrono::nanoseconds(Progress::kRedrawInterval).count() + 1;
  }
  size_t Shows() const {
    size_t n = 0;
    for (const std::string& call : platform.progress)
      if (call.compare(0, 5, "show ") == 0) ++n;
    return n;
  }
  FakePlatform platform;
  Progress progress;
};

// What is shown (in the default table's words): the step of the list, the
// files counted with no total (the bar moving ever more slowly within the
// step's share), the bytes of a known total; the bar is full only once the
// last step has ended.
TEST_F(ProgressTest, DetailAndBar) {
  progress.Begin("Copy", 1, 4);
  EXPECT_EQ(progress.Detail(), "ステップ 2/4");
  EXPECT_EQ(progress.Permille(), 250u);
  progress.Measure(Progress::Unit::kFiles, 0);
  EXPECT_EQ(progress.Detail(), "ステップ 2/4、0 ファイル");
  progress.Advance(Progress::kHalfwayFiles);
  EXPECT_EQ(progress.Permille(), 250u + 125u);  // half of the step's share
  progress.Advance(1000000);
  EXPECT_GE(progress.Permille(), 499u);
  EXPECT_LE(progress.Permille(), 500u);  // never beyond the step
  progress.End();
  EXPECT_EQ(progress.Permille(), 500u);
  EXPECT_EQ(progress.Detail(), "ステップ 3/4");

  progress.Begin("Check", 3, 4);
  progress.Measure(Progress::Unit::kBytes, 3u << 20);
  progress.Advance(1536u << 10);
  EXPECT_EQ(progress.Detail(), "ステップ 4/4、1.5 MiB/3.0 MiB");
  EXPECT_EQ(progress.Permille(), 750u + 125u);
  progress.Advance(100u << 20);  // a file that grew while read
  EXPECT_EQ(progress.Permille(), 999u);  // the step still runs
  progress.Measure(Progress::Unit::kBytes, 100);
  progress.Advance(10);
  EXPECT_EQ(progress.Detail(), "ステップ 4/4、10 バイト/100 バイト");
  progress.End();
  EXPECT_EQ(progress.Permille(), 1000u);
}

// A list run by a procedure (SWITCH) shares out that procedure's part of the
// bar and shows its own procedures; when it ends, the procedure that ran it
// is shown again, and the bar is not full while it still runs.
TEST_F(ProgressTest, NestedListsShareTheirProceduresPart) {
  progress.Begin("Branch", 1, 2);
  EXPECT_EQ(progress.Permille(), 500u);
  progress.Begin("Inner", 0, 2);
  EXPECT_EQ(progress.Procedure(), "Inner");
  EXPECT_EQ(progress.Permille(), 500u);
  progress.End();
  EXPECT_EQ(progress.Permille(), 750u);
  progress.Begin("Last", 1, 2);
  EXPECT_EQ(platform.progress.back(), "show Last | ステップ 2/2 | 750");
  progress.End();
  EXPECT_EQ(progress.Procedure(), "Branch");
  EXPECT_EQ(progress.Detail(), "ステップ 2/2");
  EXPECT_EQ(progress.Permille(), 999u);
  progress.End();
  EXPECT_EQ(progress.Permille(), 1000u);
}

// The start of a procedure is drawn at once, however soon after the last
// drawing; counts within it at most once per interval.
TEST_F(ProgressTest, StartsAreDrawnCountsThrottled) {
  progress.Begin("Wait", 0, 2);
  EXPECT_EQ(platform.progress.back(), "show Wait | ステップ 1/2 | 0");
  progress.End();
  progress.Begin("Copy", 1, 2);
  EXPECT_EQ(platform.progress.back(), "show Copy | ステップ 2/2 | 500");
  EXPECT_EQ(Shows(), 2u);
  progress.Measure(Progress::Unit::kFiles, 0);
  for (int i = 0; i < 100000; ++i) progress.Advance(1);
  EXPECT_EQ(Shows(), 2u);
  // Just before the interval has passed: still nothing; then once.
  platform.steadyClock +=
      std::chrono::nanoseconds(Progress::kRedrawInterval).count() - 1;
  progress.Advance(0);
  EXPECT_EQ(Shows(), 2u);
  Wait();
  progress.Advance(1);
  EXPECT_EQ(Shows(), 3u);
  EXPECT_EQ(platform.progress.back(),
            "show Copy | ステップ 2/2、100001 ファイル | 995");
}

// A prompt clears the display; the next report draws it again at once.
TEST_F(ProgressTest, PauseClearsAndRedrawsAfter) {
  progress.Begin("Ask", 0, 2);
  progress.Pause();
  EXPECT_EQ(platform.progress.back(), "clear");
  progress.End();
  EXPECT_EQ(platform.progress.back(), "show Ask | ステップ 2/2 | 500");
  progress.Close();
  EXPECT_EQ(platform.progress.back(), "close");
  EXPECT_FALSE(progress.IsOn());
  progress.Begin("After", 0, 1);  // no view: nothing recorded
  progress.Pause();
  EXPECT_EQ(platform.progress.back(), "close");
}

}  // namespace
