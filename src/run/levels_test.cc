#include "run/levels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

namespace {

// Records the order in which records are destroyed.
std::vector<std::string>* g_destroyed = nullptr;

struct Tracked : Procedure {
  ~Tracked() override {
    if (g_destroyed != nullptr) g_destroyed->push_back(name.Text());
  }
};

std::unique_ptr<ProcLevel> MakeList(std::initializer_list<const char*> names) {
  auto level = std::make_unique<ProcLevel>();
  for (const char* name : names) {
    auto record = std::make_unique<Tracked>();
    record->name.Assign(name);
    level->Add(std::move(record));
  }
  return level;
}

TEST(Levels, PushFindAndFreeTopFirst) {
  FakePlatform platform;
  Runtime rt(platform);
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  EXPECT_EQ(GetCurrentLevel(rt), nullptr);
  FreeAllLevels(rt);  // nothing to do
  std::unique_ptr<ProcLevel> none;
  EXPECT_FALSE(PushLevel(rt, none));

  auto a_owned = MakeList({"a1", "a2"});
  auto b_owned = MakeList({"b1"});
  auto c_owned = MakeList({});
  ProcList a = a_owned.get(), b = b_owned.get(), c = c_owned.get();
  ASSERT_TRUE(PushLevel(rt, a_owned));
  ASSERT_TRUE(PushLevel(rt, b_owned));
  ASSERT_TRUE(PushLevel(rt, c_owned));
  EXPECT_EQ(a_owned, nullptr);  // the stack owns them now
  EXPECT_EQ(rt.LevelCount, 3);
  EXPECT_EQ(rt.ProcListArray.size(), 3u);
  EXPECT_EQ(GetCurrentLevel(rt), c);
  EXPECT_EQ(GetLevel(rt, 0), a);
  EXPECT_EQ(GetLevel(rt, -1), nullptr);
  EXPECT_EQ(GetLevel(rt, 3), nullptr);

  EXPECT_EQ(FindProcedure(a, StrBuf("A1"), CodePage()), (*a)[0]);
  EXPECT_EQ(FindProcedure(a, StrBuf("a2"), CodePage()), (*a)[1]);
  EXPECT_EQ(FindProcedure(c, StrBuf("a1"), CodePage()), nullptr);
  EXPECT_EQ(FindProcedure(nullptr, StrBuf("a1"), CodePage()), nullptr);

  // A list that is not on the stack is neither removed nor destroyed.
  auto stray = MakeList({"x"});
  EXPECT_EQ(FreeLevel(rt, stray.get()), 3);
  EXPECT_EQ(FreeLevel(rt, nullptr), 0);
  EXPECT_TRUE(destroyed.empty());

  // A level below the top can be freed; the others keep their order.
  EXPECT_EQ(FreeLevel(rt, b), 2);
  EXPECT_EQ(GetLevel(rt, 0), a);
  EXPECT_EQ(GetLevel(rt, 1), c);

  FreeAllLevels(rt);
  EXPECT_EQ(rt.LevelCount, 0);
  EXPECT_TRUE(rt.ProcListArray.empty());
  // Top first; within a level, first to last.
  EXPECT_EQ(destroyed, (std::vector<std::string>{"b1", "a1", "a2"}));
  stray.reset();
  g_destroyed = nullptr;
}

TEST(Levels, FirstOfTwoEqualNamesIsFound) {
  auto owned = MakeList({"Same", "same"});
  ProcList list = owned.get();
  EXPECT_EQ(FindProcedure(list, StrBuf("SAME"), CodePage()), (*list)[0]);
  FakePlatform platform;
  Runtime rt(platform);
  ASSERT_TRUE(PushLevel(rt, owned));
  FreeAllLevels(rt);
}

}  // namespace
