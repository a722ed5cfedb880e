#include "commands/link.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

uint32_t At32(const std::string& data, size_t offset) {
  if (data.size() < offset + 4) return 0xFFFFFFFFu;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(data[offset + i]);
  return v;
}
constexpr size_t kFlags = 20;
constexpr size_t kShow = 60;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() : rt(platform) {}
  bool Link(const std::string& src, const std::string& param,
            const std::string& show, const std::string& dst, uint8_t& flag) {
    LinkProcedure record;
    record.name.Assign("Menu");
    record.SRC.Assign(src.c_str());
    record.PARAM.Assign(param.c_str());
    record.SHOWCMD.Assign(show.c_str());
    record.DST.Assign(dst.c_str());
    const bool result = ExecuteLink(rt, record);
    flag = record.ResultFlag;
    return result;
  }
  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(LinkTest, ShortcutsGoIntoNewFoldersWithLnkAlwaysAppended) {
  uint8_t flag = 0;
  const std::string dst =
      " " + (dir / "menu/sub/App") + " , " + (dir / "b.lnk");
  ASSERT_TRUE(Link(" /opt/tools/app , app", " -x 1 ", "2", dst, flag));
  EXPECT_EQ(flag, 1);
  EXPECT_TRUE(platform.boxes.empty());

  const std::string a = dir.Read("menu/sub/App.LNK");
  EXPECT_EQ(At32(a, 0), 0x4Cu);
  EXPECT_EQ(At32(a, kShow), 7u);
  EXPECT_EQ(At32(a, kFlags) & (kHasWorkingDir | kHasArguments),
            kHasWorkingDir | kHasArguments);
  EXPECT_NE(a.find(std::string("/\0o\0p\0t\0/\0t\0o\0o\0l\0s\0", 20)),
            std::string::npos);

  // No folder in the target: empty working directory; no argument item.
  const std::string b = dir.Read("b.lnk.LNK");
  EXPECT_EQ(At32(b, kShow), 1u);
  EXPECT_EQ(At32(b, kFlags) & (kHasWorkingDir | kHasArguments), 0u);
}

TEST_F(LinkTest, ShowKindsMapToShowCommands) {
  const char* kinds[] = {"1", "2", "3", "0", "4", "", " 3x"};
  const uint32_t stored[] = {1, 7, 3, 1, 1, 1, 3};
  std::string dst;
  for (int i = 0; i < 7; ++i) dst += (i ? "," : "") + (dir / std::to_string(i));
  std::string show;
  for (int i = 0; i < 7; ++i) show += std::string(i ? "," : "") + kinds[i];
  uint8_t flag = 0;
  ASSERT_TRUE(Link("/a/b,/a/b,/a/b,/a/b,/a/b,/a/b,/a/b", "", show, dst, flag));
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(At32(dir.Read(std::to_string(i) + ".LNK"), kShow), stored[i])
        << "kind '" << kinds[i] << "'";
}

TEST_F(LinkTest, PathBeyondTheShellLimitFailsWithBothItems) {
  // dir/ + "d" x 100 + / + "n" x k + ".LNK" + terminator.
  const std::string folder = dir / std::string(100, 'd');
  const size_t room = 260 - 1 - 4 - folder.size() - 1;
  uint8_t flag = 0;
  // Exactly at the limit: saved. A two-byte character counts as one unit.
  const std::string fits = folder + "/\xC3\xA9" + std::string(room - 1, 'n');
  ASSERT_TRUE(Link("/t/x", "", "", fits, flag));
  EXPECT_TRUE(dir.Exists(fits.substr(dir.path().size() + 1) + ".LNK"));

  const std::string over = folder + "/" + std::string(room + 1, 'n');
  EXPECT_FALSE(Link("/t/x, /t/y", "", "", fits + "," + over, flag));
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style & kMbIconMask, kMbIconError);
  EXPECT_NE(platform.boxes[0].text.find("\"/t/y\""), std::string::npos);
  EXPECT_NE(platform.boxes[0].text.find(over + "\""), std::string::npos);
  EXPECT_FALSE(dir.Exists(over.substr(dir.path().size() + 1) + ".LNK"));
}

TEST_F(LinkTest, UnwritablePlaceStopsTheRun) {
  dir.Write("file", "in the way");
  uint8_t flag = 0;
  EXPECT_FALSE(Link("/t/x", "", "", dir / "file/App", flag));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_NE(platform.boxes[0].text.find("/file/App\""), std::string::npos);
  EXPECT_FALSE(dir.Exists("App.LNK"));
}

}  // namespace
