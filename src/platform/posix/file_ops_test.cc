#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/posix/posix_files_fixture.h"

namespace {

TEST_F(PosixFilesTest, ReadOnlyIsTheAbsenceOfWriteBitsAndHoldsForRoot) {
  dir.Write("f", "old");
  dir.Write("src", "new");
  chmod(P("f"), 0664);
  EXPECT_TRUE(platform.SetFileAttrs(P("f"), kAttrReadOnly | kAttrHidden));
  EXPECT_EQ(Mode("f"), 0444u);
  // Even root (who may write anything) cannot delete or overwrite it.
  EXPECT_FALSE(platform.DeleteOneFile(P("f")));
  EXPECT_FALSE(platform.CopyFileOver(P("src"), P("f")));
  EXPECT_FALSE(platform.MoveFileTo(P("src"), P("f")));
  EXPECT_EQ(dir.Read("f"), "old");
  // A read-only source may be copied (the copy stays read-only) and moved.
  EXPECT_TRUE(platform.CopyFileOver(P("f"), P("copy")));
  EXPECT_EQ(Mode("copy"), 0444u);
  EXPECT_TRUE(platform.MoveFileTo(P("copy"), P("moved")));
  // Archive and other bits leave a file writable.
  EXPECT_TRUE(platform.SetFileAttrs(P("f"), kAttrArchive | kAttrSystem));
  EXPECT_EQ(Mode("f"), 0644u);
  // Directories and links keep everything; the file behind a link too.
  mkdir(P("d"), 0755);
  symlink(P("f"), P("lf"));
  EXPECT_TRUE(platform.SetFileAttrs(P("d"), kAttrReadOnly));
  EXPECT_TRUE(platform.SetFileAttrs(P("lf"), kAttrReadOnly));
  EXPECT_EQ(Mode("d"), 0755u);
  EXPECT_EQ(Mode("f"), 0644u);
}

TEST_F(PosixFilesTest, MoveNeverReplacesAndCrossesFileSystems) {
  dir.Write("a", "A");
  dir.Write("b", "B");
  EXPECT_FALSE(platform.MoveFileTo(P("a"), P("b")));
  EXPECT_EQ(dir.Read("b"), "B");
  EXPECT_FALSE(platform.MoveFileTo(P("a"), ""));
  // A link moves itself.
  mkdir(P("d"), 0777);
  symlink(P("d"), P("ld"));
  EXPECT_TRUE(platform.MoveFileTo(P("ld"), P("ld2")));
  EXPECT_EQ(platform.GetFileAttrs(P("ld2")), kAttrDirectory | kAttrReparsePoint);

  // To another file system (/dev/shm where it is one): copy, then delete.
  std::string shm = "/dev/shm/updater-files-test-" + std::to_string(getpid());
  struct stat a, b;
  if (mkdir(shm.c_str(), 0700) != 0) GTEST_SKIP() << "no /dev/shm";
  bool other = stat(shm.c_str(), &a) == 0 && stat(dir.path().c_str(), &b) == 0 &&
               a.st_dev != b.st_dev;
  chmod(P("a"), 0640);
  symlink("somewhere", P("l"));
  // Never over an existing file there either.
  dir.Write("c", "new");
  FILE* taken = fopen((shm + "/c").c_str(), "w");
  if (taken != nullptr) fclose(taken);
  bool replaced = other && platform.MoveFileTo(P("c"), (shm + "/c").c_str());
  struct stat c = {};
  stat((shm + "/c").c_str(), &c);
  unlink((shm + "/c").c_str());
  bool movedFile = other && platform.MoveFileTo(P("a"), (shm + "/a").c_str());
  bool movedLink = other && platform.MoveFileTo(P("l"), (shm + "/l").c_str());
  struct stat st = {};
  stat((shm + "/a").c_str(), &st);
  char target[16] = {};
  ssize_t n = readlink((shm + "/l").c_str(), target, sizeof target - 1);
  unlink((shm + "/a").c_str());
  unlink((shm + "/l").c_str());
  rmdir(shm.c_str());
  if (!other) GTEST_SKIP() << "same file system";
  EXPECT_FALSE(replaced);
  EXPECT_EQ(c.st_size, 0);
  EXPECT_EQ(dir.Read("c"), "new");
  EXPECT_TRUE(movedFile);
  EXPECT_TRUE(movedLink);
  EXPECT_FALSE(dir.Exists("a"));
  EXPECT_FALSE(dir.Exists("l"));
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::string(target, n > 0 ? n : 0), "somewhere");
}

TEST_F(PosixFilesTest, RemoveDirTakesEmptyDirectoriesAndDirectoryLinksOnly) {
  mkdir(P("empty"), 0777);
  dir.Write("full/f", "x");
  dir.Write("file", "x");
  symlink(P("full"), P("link"));
  symlink(P("file"), P("filelink"));
  EXPECT_TRUE(platform.RemoveDir(P("empty")));
  EXPECT_FALSE(platform.RemoveDir(P("full")));
  EXPECT_FALSE(platform.RemoveDir(P("file")));
  EXPECT_FALSE(platform.RemoveDir(P("filelink")));
  EXPECT_FALSE(platform.DeleteOneFile(P("full")));
  EXPECT_TRUE(platform.RemoveDir(P("link/")));
  EXPECT_FALSE(dir.Exists("link"));
  EXPECT_TRUE(platform.DeleteOneFile(P("filelink")));
  EXPECT_EQ(dir.Read("full/f"), "x");
  EXPECT_EQ(dir.Read("file"), "x");
}

TEST_F(PosixFilesTest, ExclusiveOpenReadsRegularFilesOnly) {
  dir.Write("f", "hello");
  struct tm local = {};
  local.tm_year = 2021 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 4;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  struct timespec times[2] = {{0, UTIME_OMIT}, {mktime(&local), 0}};
  utimensat(AT_FDCWD, P("f"), times, 0);
  auto file = platform.OpenExclusive(P("f"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 5u);
  char buffer[8];
  uint32_t got = 0;
  EXPECT_TRUE(file->Read(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, got), "hello");
  EXPECT_TRUE(file->Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);
  uint16_t y = 0, m = 0, d = 0;
  EXPECT_TRUE(file->LastWriteLocalDate(y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 20210304);
  EXPECT_FALSE(platform.OpenExclusive(dir.path().c_str()));
  EXPECT_FALSE(platform.OpenExclusive(P(std::string(4000, 'a'))));
  DirEntry entry;
  EXPECT_FALSE(platform.StartSearch(P(std::string(4000, 'a') + "/*"), entry));
}

}  // namespace
