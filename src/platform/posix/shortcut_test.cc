#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"

namespace {

uint32_t At32(const std::string& data, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(data[offset + i]);
  return v;
}

// Runs lnkinfo (package liblnk-utils, always there where the tests run) on
// a file: true with its output, or false with the reason.
bool LnkInfo(const std::string& path, std::string& output) {
  if (access("/usr/bin/lnkinfo", X_OK) != 0) {
    output = "lnkinfo is missing: install liblnk-utils";
    return false;
  }
  const std::string command = "/usr/bin/lnkinfo '" + path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[4096];
  size_t n;
  output.clear();
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.append(buffer, n);
  return pclose(pipe) == 0;
}

class ShortcutTest : public ::testing::Test {
 protected:
  TestDir dir;
  PosixPlatform platform;
};

TEST_F(ShortcutTest, HeaderCarriesClsidFlagsAndShowCommand) {
  const std::string link = dir / "App.LNK";
  ASSERT_TRUE(platform.WriteShortcut("/opt/tools/app", "/opt/tools", "-x 1", 7,
                                     link.c_str()));
  const std::string data = dir.Read("App.LNK");
  ASSERT_GE(data.size(), 0x4Cu);
  EXPECT_EQ(At32(data, 0), 0x4Cu);
  const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0,
                                   0xC0, 0,    0,    0, 0, 0, 0, 0x46};
  EXPECT_EQ(std::memcmp(data.data() + 4, clsid, 16), 0);
  // HasLinkInfo, HasWorkingDir, HasArguments, IsUnicode.
  EXPECT_EQ(At32(data, 20), 0x02u | 0x10u | 0x20u | 0x80u);
  EXPECT_EQ(At32(data, 60), 7u);
  // The file ends with the terminal block.
  EXPECT_EQ(At32(data, data.size() - 4), 0u);
}

TEST_F(ShortcutTest, UnknownShowCommandStoresNormalAndEmptyStringsAreLeftOut) {
  const std::string link = dir / "a.LNK";
  ASSERT_TRUE(platform.WriteShortcut("app", "", "", 0, link.c_str()));
  const std::string data = dir.Read("a.LNK");
  EXPECT_EQ(At32(data, 60), 1u);
  EXPECT_EQ(At32(data, 20), 0x02u | 0x80u);
  std::string info;
  ASSERT_TRUE(LnkInfo(link, info)) << info;
  EXPECT_NE(info.find("Local path\t\t\t: app"), std::string::npos) << info;
}

TEST_F(ShortcutTest, LnkinfoReadsTargetWorkingDirectoryAndArguments) {
  const std::string link = dir / "b.LNK";
  // Non-ASCII texts (UTF-8 here) travel as UTF-16.
  ASSERT_TRUE(platform.WriteShortcut("/opt/t\xC3\xA9st/app", "/opt/t\xC3\xA9st",
                                     "a \"b c\"", 3, link.c_str()));
  std::string info;
  ASSERT_TRUE(LnkInfo(link, info)) << info;
  EXPECT_NE(info.find(": /opt/t\xC3\xA9st/app\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Working directory\t\t: /opt/t\xC3\xA9st\n"),
            std::string::npos)
      << info;
  EXPECT_NE(info.find("Command line arguments\t\t: a \"b c\"\n"),
            std::string::npos)
      << info;
}

TEST_F(ShortcutTest, ReplacesAnOldFileButNeverAReadOnlyOne) {
  dir.Write("c.LNK", "old");
  const std::string link = dir / "c.LNK";
  ASSERT_TRUE(platform.WriteShortcut("/x/y", "/x", "", 1, link.c_str()));
  EXPECT_EQ(At32(dir.Read("c.LNK"), 0), 0x4Cu);

  chmod(link.c_str(), 0444);
  EXPECT_FALSE(platform.WriteShortcut("/x/z", "/x", "", 1, link.c_str()));
  EXPECT_EQ(At32(dir.Read("c.LNK"), 0), 0x4Cu);
  // A missing folder fails and leaves nothing behind.
  EXPECT_FALSE(
      platform.WriteShortcut("/x/y", "/x", "", 1, (dir / "no/d.LNK").c_str()));
  EXPECT_FALSE(dir.Exists("no"));
  // A link at the name is replaced, never written through, even when it
  // leads to a read-only file; a directory is never replaced. The new file
  // has the usual mode, and no other entry is left.
  dir.Write("keep", "kept");
  chmod((dir / "keep").c_str(), 0444);
  ASSERT_EQ(symlink((dir / "keep").c_str(), (dir / "e.LNK").c_str()), 0);
  ASSERT_TRUE(platform.WriteShortcut("/x/y", "/x", "", 1,
                                     (dir / "e.LNK").c_str()));
  EXPECT_EQ(dir.Read("keep"), "kept");
  EXPECT_EQ(At32(dir.Read("e.LNK"), 0), 0x4Cu);
  struct stat st;
  ASSERT_EQ(lstat((dir / "e.LNK").c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
  ASSERT_EQ(mkdir((dir / "f.LNK").c_str(), 0777), 0);
  EXPECT_FALSE(platform.WriteShortcut("/x/y", "/x", "", 1,
                                      (dir / "f.LNK").c_str()));
  DirEntry entry;
  auto search = platform.StartSearch((dir / "*.*").c_str(), entry);
  ASSERT_TRUE(search);
  std::string names;
  do names += entry.name + " "; while (search->Next(entry));
  EXPECT_EQ(names.find(".~upd."), std::string::npos) << names;
}

}  // namespace
