#include "commands/command_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "commands/dispatch.h"
#include "commands/file_commands.h"
#include "commands/load_record.h"
#include "run/levels.h"

namespace {

// A settings file u.ini in a directory of its own, and a run reading it.
class CommandTable : public ::testing::Test {
 protected:
  CommandTable() { rt.SettingsPath.Assign((dir / "u.ini").c_str()); }
  TestDir dir;
  FakePlatform platform;
  Runtime rt{platform};
};

// Every row loads exactly its keys: with every key a
// section loads without a message, and without any one of them the loader
// reports that key as missing.
TEST_F(CommandTable, KeysAreExactlyTheKeysTheLoadersRead) {
  for (const Command& command : AllCommands()) {
    const char* mode = command.mode;
    // Each MODE word once: the first row of a word would hide the others.
    EXPECT_EQ(FindCommand(mode, CodePage()), &command) << mode;
    std::vector<std::string> all;
    for (const RecordKey& key : command.keys) all.push_back(key.name);
    for (size_t left = 0; left <= all.size(); ++left) {
      std::string section = std::string("[P]\nMODE=") + mode + "\n";
      for (size_t i = 0; i < all.size(); ++i)
        if (i != left) section += all[i] + "=1\n";
      dir.Write("u.ini", section);
      platform.boxes.clear();
      std::unique_ptr<Procedure> record = LoadRecord(rt, command, "P");
      if (left == all.size()) {
        ASSERT_NE(record, nullptr) << mode;
        EXPECT_TRUE(platform.boxes.empty()) << mode;
        EXPECT_EQ(record->row, &command);
      } else {
        EXPECT_EQ(record, nullptr) << mode << " " << all[left];
        ASSERT_EQ(platform.boxes.size(), 1u) << mode << " " << all[left];
        EXPECT_NE(platform.boxes[0].text.find("\"" + all[left] + "\""),
                  std::string::npos);
      }
    }
    // The first list is a text key of the row.
    if (command.firstList != nullptr) {
      const RecordKey* first = FindKey(command, command.firstList, CodePage());
      ASSERT_NE(first, nullptr) << mode;
      EXPECT_FALSE(first->integer) << mode;
    }
    // MODE and the command's keys, in any case; nothing else.
    EXPECT_TRUE(IsKeyOf(command, "mode", CodePage()));
    EXPECT_FALSE(IsKeyOf(command, "FORM", CodePage()));
    for (const char* const* list = command.procedureLists; *list != nullptr;
         ++list)
      EXPECT_TRUE(IsKeyOf(command, *list, CodePage())) << mode;
  }
  EXPECT_EQ(FindCommand("COPIES", CodePage()), nullptr);
  const RecordKey* wait =
      FindKey(*FindCommand("launch", CodePage()), "iswait", CodePage());
  ASSERT_NE(wait, nullptr);
  EXPECT_TRUE(wait->integer);
}

// Whether KeysOf<Record> accepts arguments of the types Keys.
template <class Record, class... Keys>
constexpr bool CanWriteKeys(...) { return false; }
template <class Record, class... Keys>
constexpr auto CanWriteKeys(int)
    -> decltype(KeysOf<Record>(std::declval<Keys>()...), true) {
  return true;
}

// A row's key is written only together with a member of the row's record.
TEST_F(CommandTable, AKeyWithoutAMemberOfTheRecordCannotBeWritten) {
  static_assert(CanWriteKeys<CopyProcedure, KeyOf<CopyProcedure>>(0));
  static_assert(!CanWriteKeys<CopyProcedure, const char*>(0));
  static_assert(!CanWriteKeys<CopyProcedure, RecordKey>(0));
  static_assert(!CanWriteKeys<CopyProcedure, KeyOf<MoveProcedure>>(0));
  static_assert(!CanWriteKeys<CopyProcedure, KeyOf<CopyProcedure>,
                              KeyOf<CopyProcedure>, KeyOf<CopyProcedure>,
                              KeyOf<CopyProcedure>, KeyOf<CopyProcedure>>(0));
}

// The row's first list is checked before the executor runs: empty, the run
// stops with message 4 naming the key and the command does nothing.
TEST_F(CommandTable, AnEmptyFirstListStopsTheRunBeforeTheExecutor) {
  for (const Command& command : AllCommands()) {
    if (command.firstList == nullptr) continue;
    std::string section = std::string("[P]\nMODE=") + command.mode + "\n";
    for (const RecordKey& key : command.keys)
      section += std::string(key.name) + "=" +
                 (std::string(key.name) == command.firstList ? "" : "1") +
                 "\n";
    dir.Write("u.ini", section);
    platform.boxes.clear();
    ProcList list = LoadProcedureList(rt, "P", 1);
    ASSERT_NE(list, nullptr) << command.mode;
    EXPECT_FALSE(ExecuteProcedureList(rt, list)) << command.mode;
    ASSERT_EQ(platform.boxes.size(), 1u) << command.mode;
    EXPECT_NE(platform.boxes[0].text.find("\"P\""), std::string::npos);
    EXPECT_NE(platform.boxes[0].text.find(std::string("\"") +
                                          command.firstList + "\""),
              std::string::npos)
        << command.mode;
    EXPECT_EQ((*list)[0]->ResultFlag, 0) << command.mode;
  }
}

}  // namespace
