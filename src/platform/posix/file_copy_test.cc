#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/posix/posix_files_fixture.h"

namespace {

TEST_F(PosixFilesTest, CopyKeepsContentsModeAndTimeAndReplacesLinks) {
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  dir.Write("big", big);
  chmod(P("big"), 0750);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  utimensat(AT_FDCWD, P("big"), times, 0);
  dir.Write("dst", "previous");
  ASSERT_TRUE(platform.CopyFileOver(P("big"), P("dst")));
  EXPECT_EQ(dir.Read("dst"), big);
  EXPECT_EQ(Mode("dst"), 0750u);
  struct stat st;
  ASSERT_EQ(stat(P("dst"), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  // A destination link is replaced, never written through.
  dir.Write("target", "keep");
  symlink(P("target"), P("link"));
  EXPECT_TRUE(platform.CopyFileOver(P("big"), P("link")));
  EXPECT_EQ(dir.Read("target"), "keep");
  EXPECT_EQ(dir.Read("link"), big);
}

TEST_F(PosixFilesTest, CopyToANewNameIsWholeAndLeavesNoOtherEntry) {
  std::string data(70000, 'x');
  dir.Write("src", data);
  chmod(P("src"), 0444);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1200000000, 0}};
  utimensat(AT_FDCWD, P("src"), times, 0);
  mkdir(P("d"), 0777);
  ASSERT_TRUE(platform.CopyFileOver(P("src"), P("d/new")));
  EXPECT_EQ(dir.Read("d/new"), data);
  EXPECT_EQ(Mode("d/new"), 0444u);
  struct stat st;
  ASSERT_EQ(stat(P("d/new"), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_nlink, 1u);
  // An empty file, and a file that the kernel does not copy by itself (a
  // /proc file, whose size is only known by reading it).
  dir.Write("empty", "");
  EXPECT_TRUE(platform.CopyFileOver(P("empty"), P("d/empty")));
  EXPECT_TRUE(dir.Exists("d/empty"));
  EXPECT_EQ(dir.Read("d/empty"), "");
  std::string version;
  if (FILE* f = fopen("/proc/version", "r")) {
    char buffer[4096];
    size_t n = fread(buffer, 1, sizeof buffer, f);
    version.assign(buffer, n);
    fclose(f);
  }
  if (!version.empty()) {
    EXPECT_TRUE(platform.CopyFileOver("/proc/version", P("d/version")));
    EXPECT_EQ(dir.Read("d/version"), version);
  }
  // Nothing but the copies: no temporary entry is left.
  Names expected{".", "..", "empty", "new"};
  if (!version.empty()) expected.push_back("version");
  EXPECT_EQ(Search(P("d/*")), expected);
}

TEST_F(PosixFilesTest, FailedCopiesLeaveNothingBehind) {
  dir.Write("src", "x");
  mkdir(P("d"), 0777);
  mkfifo(P("fifo"), 0666);  // would block a reader forever
  std::string longName(300, 'b');
  EXPECT_FALSE(platform.CopyFileOver(P("none"), P("a")));
  EXPECT_FALSE(platform.CopyFileOver(P("src"), P("d")));
  EXPECT_FALSE(platform.CopyFileOver(P("d"), P("a")));
  EXPECT_FALSE(platform.CopyFileOver(P("fifo"), P("a")));
  EXPECT_FALSE(platform.CopyFileOver(P("src"), P("no/a")));
  EXPECT_FALSE(platform.CopyFileOver(P("src"), P(longName)));
  EXPECT_FALSE(platform.CopyFileOver(P("src"), ""));
  EXPECT_EQ(Search(P("*")), (Names{".", "..", "d", "fifo", "src"}));
  EXPECT_EQ(Search(P("d/*")), (Names{".", ".."}));
}

}  // namespace
