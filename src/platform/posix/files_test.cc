#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"

namespace {

using Names = std::vector<std::string>;

class PosixFilesTest : public ::testing::Test {
 protected:
  PosixFilesTest() {}
  ~PosixFilesTest() override {}

  const char* P(const std::string& relative) {
    paths_.push_back(dir / relative);
    return paths_.back().c_str();
  }
  // The names a search yields, sorted; "-" when it finds nothing.
  Names Search(const std::string& pattern) {
    Names names;
    DirEntry entry;
    auto search = platform.StartSearch(pattern.c_str(), entry);
    if (!search) return {"-"};
    do names.push_back(entry.name); while (search->Next(entry));
    std::sort(names.begin(), names.end());
    return names;
  }
  mode_t Mode(const std::string& relative) {
    struct stat st;
    return lstat(P(relative), &st) == 0 ? st.st_mode & 07777 : 0;
  }

  TestDir dir;
  PosixPlatform platform;

 private:
  std::deque<std::string> paths_;  // stable addresses for P()
};

TEST_F(PosixFilesTest, WildcardsHaveTheWindowsMeaning) {
  for (const char* name : {"a.txt", "B.TXT", "ab.txt", "readme", ".hidden"})
    dir.Write(name, "x");
  EXPECT_EQ(Search(P("*.txt")), (Names{"B.TXT", "a.txt", "ab.txt"}));
  EXPECT_EQ(Search(P("?.TxT")), (Names{"B.TXT", "a.txt"}));
  // "*.*" matches names without a dot too; "." and ".." come as on Windows.
  EXPECT_EQ(Search(P("*.*")), (Names{".", "..", ".hidden", "B.TXT", "a.txt",
                                     "ab.txt", "readme"}));
  EXPECT_EQ(Search(P("read*.*")), (Names{"readme"}));
  EXPECT_EQ(Search(P("*.doc")), (Names{"-"}));
  // A plain name is looked up as written; a trailing separator names nothing.
  EXPECT_EQ(Search(P("a.txt")), (Names{"a.txt"}));
  EXPECT_EQ(Search(P("A.txt")), (Names{"-"}));
  EXPECT_EQ(Search(dir.path() + "/"), (Names{"-"}));
  EXPECT_EQ(Search(""), (Names{"-"}));
  mkdir(P("empty"), 0777);
  EXPECT_EQ(Search(P("empty/*.*")), (Names{".", ".."}));

  // "?" is one whole character: three bytes in UTF-8, two in code page 932
  // (also when the trail byte is 0x5C or an ASCII letter, never folded).
  dir.Write("\xE8\xA1\xA8.u8", "x");
  EXPECT_EQ(Search(P("?.u8")), (Names{"\xE8\xA1\xA8.u8"}));
  platform.SetCodePage(kCodePageShiftJis);
  dir.Write("\x95\x5C.dat", "x");
  dir.Write("\x83\x61.dat", "y");
  EXPECT_EQ(Search(P("?.dat")), (Names{"\x83\x61.dat", "\x95\x5C.dat"}));
  EXPECT_EQ(Search(P("\x83\x41*")), (Names{"-"}));
  EXPECT_EQ(Search(P("??.dat")), (Names{"-"}));
}

TEST_F(PosixFilesTest, AttributesOfEntriesAndLinks) {
  dir.Write("f", "x");
  dir.Write("ro", "x");
  chmod(P("ro"), 0444);
  mkdir(P("d"), 0777);
  symlink(P("d"), P("ld"));
  symlink(P("f"), P("lf"));
  EXPECT_EQ(platform.GetFileAttrs(P("f")), kAttrArchive);
  EXPECT_EQ(platform.GetFileAttrs(P("ro")), kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(platform.GetFileAttrs(P("d/")), kAttrDirectory);
  EXPECT_EQ(platform.GetFileAttrs(P("lf")), kAttrArchive | kAttrReparsePoint);
  // The last component is never followed, not even with a trailing "/".
  EXPECT_EQ(platform.GetFileAttrs(P("ld/")), kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(platform.GetFileAttrs(P("f/")), kInvalidAttributes);
  EXPECT_EQ(platform.GetFileAttrs(""), kInvalidAttributes);
  // The search reports the same attributes.
  DirEntry entry;
  auto search = platform.StartSearch(P("*"), entry);
  ASSERT_TRUE(search);
  do {
    if (entry.name == "." || entry.name == "..") continue;
    EXPECT_EQ(entry.attributes, platform.GetFileAttrs(P(entry.name)))
        << entry.name;
  } while (search->Next(entry));
}

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
