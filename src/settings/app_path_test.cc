#include "settings/app_path.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_platform.h"

namespace {

const std::string kKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

class AppPathTest : public ::testing::Test {
 protected:
  AppPathTest() {
    platform.registry = {{kKey + "tool.exe|", "C:\\tools\\tool.exe"},
                         {kKey + "tool.exe|Path", "C:\\tools\\;"},
                         {kKey + "bare.exe|", "C:\\bare.exe"},
                         {kKey + "deep\\sub.exe|", "C:\\deep\\sub.exe"}};
  }
  std::string Find(const char* name, AppPathValue what) {
    StrBuf out("(none)");
    if (!FindAppPath(platform, StrBuf(name), out, what)) return "(failed)";
    return out.Text();
  }
  FakePlatform platform;
};

TEST_F(AppPathTest, ReadsTheKeyOfTheNameAndAlwaysClosesIt) {
  EXPECT_EQ(Find("TOOL.EXE", AppPathValue::kExecutable), "C:\\tools\\tool.exe");
  // The path list comes as stored; its ends are the caller's business.
  EXPECT_EQ(Find("tool.exe", AppPathValue::kPathList), "C:\\tools\\;");
  EXPECT_EQ(Find("deep\\sub.exe", AppPathValue::kExecutable),
            "C:\\deep\\sub.exe");
  EXPECT_EQ(Find("bare.exe", AppPathValue::kPathList), "(failed)");
  EXPECT_EQ(Find("missing.exe", AppPathValue::kExecutable), "(failed)");
  EXPECT_EQ(platform.openKeys, 0);
}

TEST_F(AppPathTest, KeyOwnsOneHandleAtATime) {
  {
    RegKey key(platform, kHkeyLocalMachine, (kKey + "tool.exe").c_str());
    EXPECT_EQ(key.ValueSize("Path"), 0u);  // not open yet
    ASSERT_TRUE(key.Open(kKeyRead));
    ASSERT_TRUE(key.Open(kKeyRead));  // the first handle is closed
    EXPECT_EQ(platform.openKeys, 1);
    EXPECT_EQ(key.ValueSize("path"), 11u);  // with its terminator
    EXPECT_EQ(key.ValueSize("none"), 0u);
    StrBuf out;
    EXPECT_FALSE(key.QueryString("none", out));
  }
  EXPECT_EQ(platform.openKeys, 0);  // closed by the destructor
  RegKey none(platform, 0, (kKey + "tool.exe").c_str());
  EXPECT_FALSE(none.Open(kKeyRead));
  RegKey other(platform, 0x80000001, (kKey + "tool.exe").c_str());
  StrBuf out;
  EXPECT_FALSE(other.ReadString("", out));
  EXPECT_EQ(platform.openKeys, 0);
}

}  // namespace
