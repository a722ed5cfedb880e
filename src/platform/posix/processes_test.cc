#include "platform/posix/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/held_child.h"
#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineTest, BlanksQuotesAndBackslashes) {
  EXPECT_EQ(SplitCommandLine("p  a\tb ", CodePage()), (Args{"p", "a", "b"}));
  EXPECT_EQ(SplitCommandLine("p ", CodePage()), (Args{"p"}));
  EXPECT_EQ(SplitCommandLine("", CodePage()), (Args{""}));
  // In the program word quotes only group and backslashes stay.
  EXPECT_EQ(SplitCommandLine("\"C:\\My Apps\\x.exe\"\\ z", CodePage()),
            (Args{"C:\\My Apps\\x.exe\\", "z"}));
  EXPECT_EQ(SplitCommandLine("p \"a b\" c\"d e\"f", CodePage()),
            (Args{"p", "a b", "cd ef"}));
  EXPECT_EQ(SplitCommandLine("p a\\b a\\\\b", CodePage()),
            (Args{"p", "a\\b", "a\\\\b"}));
  // 2n backslashes and a quote: n backslashes, the quote groups.
  EXPECT_EQ(SplitCommandLine("p a\\\\\"b c\"", CodePage()),
            (Args{"p", "a\\b c"}));
  // 2n+1: n backslashes and a literal quote.
  EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b c", CodePage()),
            (Args{"p", "a\\\"b", "c"}));
  EXPECT_EQ(SplitCommandLine("p \\\"x\\\"", CodePage()), (Args{"p", "\"x\""}));
  // "" inside a quoted run is a quote; "" alone an empty argument.
  EXPECT_EQ(SplitCommandLine("p \"a\"\"b\" \"\"", CodePage()),
            (Args{"p", "a\"b", ""}));
}

TEST(SplitCommandLineTest, UnbalancedQuoteRunsToTheEnd) {
  EXPECT_EQ(SplitCommandLine("p \"a  b", CodePage()), (Args{"p", "a  b"}));
  EXPECT_EQ(SplitCommandLine("\"p q", CodePage()), (Args{"p q"}));
  EXPECT_EQ(SplitCommandLine("p a\"", CodePage()), (Args{"p", "a"}));
}

TEST(SplitCommandLineTest, DoubleByteTrailIsNeverABackslash) {
  const CodePage sjis(kCodePageShiftJis);
  // 0x95 0x5C is one character; the quote after it opens a quoted run.
  EXPECT_EQ(SplitCommandLine("p \x95\x5C\" x\"", sjis),
            (Args{"p", "\x95\x5C x"}));
}

// The helper programs are built beside the test program.
std::string Helper(const char* name) {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  std::string path(self, static_cast<size_t>(n));
  path = path.substr(0, path.rfind('/') + 1) + name;
  return access(path.c_str(), X_OK) == 0 ? path : "";
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since)
      .count();
}

// Number of processes whose parent is this one and whose command name is
// name.
int ChildrenNamed(const std::string& name) {
  int count = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return -1;
  while (dirent* entry = readdir(proc)) {
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // "pid (comm) state ppid ..."
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long ppid = 0;
    rest >> state >> ppid;
    if (ppid == getpid() && line.substr(open + 1, close - open - 1) == name)
      ++count;
  }
  closedir(proc);
  return count;
}

class StartProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    echo = Helper("echo_args");
    ASSERT_FALSE(echo.empty())
        << "the helper echo_args is missing beside unit_tests: build it "
           "(cmake --build --preset native)";
  }
  TestDir dir;
  PosixPlatform platform;
  std::string echo;
};

TEST_F(StartProgramTest, RunsInTheWorkingDirectoryWithSplitArguments) {
  dir.Write("work/.keep", "");
  const std::string line = echo + " a \"b c\" d\\\"e ";
  auto process = platform.StartProgram(line.c_str(), (dir / "work").c_str());
  ASSERT_TRUE(process);
  EXPECT_TRUE(process->WaitForExit(kWaitInfinite));
  EXPECT_EQ(dir.Read("work/args.txt"),
            "cwd=" + dir.path() + "/work\n[a]\n[b c]\n[d\"e]\n");
}

TEST_F(StartProgramTest, UnquotedPathWithBlanksIsFoundAsWindowsFindsIt) {
  dir.Write("my dir/.keep", "");
  const std::string copy = dir / "my dir/echo";
  ASSERT_EQ(system(("cp '" + echo + "' '" + copy + "'").c_str()), 0);
  EXPECT_EQ(ProgramOfCommandLine((copy + " x").c_str(), CodePage()), copy);
  EXPECT_EQ(ProgramOfCommandLine(("\"" + copy + "\" x").c_str(), CodePage()),
            copy);
  EXPECT_EQ(ProgramOfCommandLine((dir / "none here x").c_str(), CodePage()),
            dir / "none");
  auto process =
      platform.StartProgram((copy + " x").c_str(), (dir / "my dir").c_str());
  ASSERT_TRUE(process);
  EXPECT_TRUE(process->WaitForExit(kWaitInfinite));
  // The runtime splits the unquoted path as it splits any line.
  EXPECT_EQ(dir.Read("my dir/args.txt"),
            "cwd=" + dir.path() + "/my dir\n[dir/echo]\n[x]\n");
}

TEST_F(StartProgramTest, WhatCannotBeStartedGivesNoHandle) {
  dir.Write("plain.txt", "text");
  dir.Write("sub/.keep", "");
  EXPECT_FALSE(
      platform.StartProgram((dir / "plain.txt ").c_str(), dir.path().c_str()));
  EXPECT_FALSE(
      platform.StartProgram((dir / "sub ").c_str(), dir.path().c_str()));
  EXPECT_FALSE(
      platform.StartProgram((dir / "missing ").c_str(), dir.path().c_str()));
  EXPECT_FALSE(
      platform.StartProgram((echo + " ").c_str(), (dir / "nowhere").c_str()));
}

TEST_F(StartProgramTest, StartedProgramIsDetachedAndInheritsNoDescriptor) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);  // inheritable on purpose
  const auto start = std::chrono::steady_clock::now();
  auto process = platform.StartProgram((echo + " --sleep=2000").c_str(),
                                       dir.path().c_str());
  ASSERT_TRUE(process);
  EXPECT_TRUE(process->WaitUntilIdle(kWaitInfinite));
  // Not a child of ours: nothing to reap, no zombie later.
  EXPECT_EQ(ChildrenNamed("echo_args"), 0);
  // The program does not hold the pipe: end of file at once.
  close(fds[1]);
  char c;
  EXPECT_EQ(read(fds[0], &c, 1), 0);
  close(fds[0]);
  EXPECT_LT(Seconds(start), 1.5);
  EXPECT_FALSE(dir.Exists("args.txt"));

  // A time-out ends the wait; without limit it lasts until the end.
  const auto wait = std::chrono::steady_clock::now();
  EXPECT_TRUE(process->WaitForExit(100));
  EXPECT_LT(Seconds(wait), 1.0);
  EXPECT_FALSE(dir.Exists("args.txt"));
  EXPECT_TRUE(process->WaitForExit(kWaitInfinite));
  EXPECT_TRUE(dir.Exists("args.txt"));
}

TEST(OpenForWaitTest, WaitsForAnyProcessAndRefusesMissingOnes) {
  PosixPlatform platform;
  EXPECT_FALSE(platform.OpenForWait(0));
  EXPECT_FALSE(platform.OpenForWait(0x7FFFFFF0u));
  HeldChild child;
  ASSERT_GT(child.id(), 0);
  auto process = platform.OpenForWait(static_cast<uint32_t>(child.id()));
  ASSERT_TRUE(process);
  EXPECT_TRUE(process->WaitForExit(20));
  EXPECT_TRUE(child.Running());
  child.Release();
  EXPECT_TRUE(process->WaitForExit(kWaitInfinite));
  EXPECT_FALSE(child.Running());
  EXPECT_TRUE(child.Reap());
}

}  // namespace
