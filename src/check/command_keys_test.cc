#include "check/command_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/code_page.h"
#include "commands/command_table.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

const char* const kModes[] = {"EXIST",   "DATE",  "SWITCH",  "MSGBOX",
                              "COPY",    "LAUNCH", "DELETE", "LINK",
                              "OSVER",   "MAKEDIR", "ATTR",  "CRC",
                              "MOVE",    "WAITAPP", "APPEXIST", "VERIFY"};

// The key lists must be exactly what the loaders read: with every listed
// key a section loads without a message, and without any one of them the
// loader reports that key as missing.
TEST(CommandKeys, AreExactlyTheKeysTheLoadersRead) {
  SetAnsiCodePage(kCodePageUtf8);
  TestDir dir;
  FakePlatform platform;
  Runtime rt(platform);
  rt.SettingsPath.Assign((dir / "u.ini").c_str());
  for (const char* mode : kModes) {
    const Command* command = FindCommand(mode);
    const CommandKeys* keys = FindCommandKeys(mode);
    ASSERT_NE(command, nullptr) << mode;
    ASSERT_NE(keys, nullptr) << mode;
    std::vector<std::string> all;
    for (const char* const* key = keys->keys; *key != nullptr; ++key)
      all.push_back(*key);
    for (size_t left = 0; left <= all.size(); ++left) {
      std::string section = std::string("[P]\nMODE=") + mode + "\n";
      for (size_t i = 0; i < all.size(); ++i)
        if (i != left) section += all[i] + "=1\n";
      dir.Write("u.ini", section);
      platform.boxes.clear();
      Procedure* record = command->load(rt, "P");
      if (left == all.size()) {
        EXPECT_NE(record, nullptr) << mode;
        EXPECT_TRUE(platform.boxes.empty()) << mode;
      } else {
        EXPECT_EQ(record, nullptr) << mode << " " << all[left];
        ASSERT_EQ(platform.boxes.size(), 1u) << mode << " " << all[left];
        EXPECT_NE(platform.boxes[0].text.find("\"" + all[left] + "\""),
                  std::string::npos);
      }
      delete record;
    }
    // MODE and the command's keys, in any case; nothing else.
    EXPECT_TRUE(IsKeyOf(*keys, "mode"));
    EXPECT_FALSE(IsKeyOf(*keys, "FORM"));
  }
  EXPECT_EQ(FindCommandKeys("COPIES"), nullptr);
  EXPECT_STREQ(FindCommandKeys("launch")->integerKey, "ISWAIT");
}

}  // namespace
