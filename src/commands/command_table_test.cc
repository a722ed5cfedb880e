#include "commands/command_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

// Every row's keys are exactly what its loader reads: with every key a
// section loads without a message, and without any one of them the loader
// reports that key as missing.
TEST(CommandTable, KeysAreExactlyTheKeysTheLoadersRead) {
  SetAnsiCodePage(kCodePageUtf8);
  TestDir dir;
  FakePlatform platform;
  Runtime rt(platform);
  rt.SettingsPath.Assign((dir / "u.ini").c_str());
  for (const Command& command : AllCommands()) {
    const char* mode = command.mode;
    // Each MODE word once: the first row of a word would hide the others.
    EXPECT_EQ(FindCommand(mode), &command) << mode;
    std::vector<std::string> all;
    for (const char* const* key = command.keys; *key != nullptr; ++key)
      all.push_back(*key);
    for (size_t left = 0; left <= all.size(); ++left) {
      std::string section = std::string("[P]\nMODE=") + mode + "\n";
      for (size_t i = 0; i < all.size(); ++i)
        if (i != left) section += all[i] + "=1\n";
      dir.Write("u.ini", section);
      platform.boxes.clear();
      Procedure* record = command.load(rt, command, "P");
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
    EXPECT_TRUE(IsKeyOf(command, "mode"));
    EXPECT_FALSE(IsKeyOf(command, "FORM"));
    for (const char* const* list = command.procedureLists; *list != nullptr;
         ++list)
      EXPECT_TRUE(IsKeyOf(command, *list)) << mode;
  }
  EXPECT_EQ(FindCommand("COPIES"), nullptr);
  EXPECT_STREQ(FindCommand("launch")->integerKey, "ISWAIT");
}

}  // namespace
