#include "run/levels.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace {

ProcList MakeList(std::initializer_list<const char*> names) {
  ProcList list = new Procedure*[names.size() + 1]();
  size_t i = 0;
  for (const char* name : names) {
    list[i] = new Procedure;
    list[i]->name.Assign(name);
    ++i;
  }
  return list;
}

TEST(Levels, PushFindAndFreeTopFirst) {
  FakePlatform platform;
  Runtime rt(platform);
  EXPECT_EQ(GetCurrentLevel(rt), nullptr);
  FreeAllLevels(rt);  // nothing to do
  EXPECT_FALSE(PushLevel(rt, nullptr));

  ProcList a = MakeList({"Check1", "Copy"});
  ProcList b = MakeList({"Check1"});
  ProcList c = MakeList({});
  ASSERT_TRUE(PushLevel(rt, a));
  ASSERT_TRUE(PushLevel(rt, b));
  ASSERT_TRUE(PushLevel(rt, c));
  EXPECT_EQ(rt.LevelCount, 3);
  EXPECT_EQ(rt.ProcListArray.Size(), 3 * sizeof(ProcList));
  EXPECT_EQ(GetCurrentLevel(rt), c);
  EXPECT_EQ(GetLevel(rt, 0), a);
  EXPECT_EQ(GetLevel(rt, -1), nullptr);

  EXPECT_EQ(FindProcedure(a, StrBuf("CHECK1")), a[0]);
  EXPECT_EQ(FindProcedure(a, StrBuf("copy")), a[1]);
  EXPECT_EQ(FindProcedure(c, StrBuf("Check1")), nullptr);
  EXPECT_EQ(FindProcedure(nullptr, StrBuf("Check1")), nullptr);

  // Removing a list that is not on the stack changes nothing.
  ProcList stray = MakeList({"X"});
  EXPECT_EQ(FreeLevel(rt, stray), 3);
  EXPECT_EQ(FreeLevel(rt, nullptr), 0);

  // A level below the top can be freed; the others keep their order.
  EXPECT_EQ(FreeLevel(rt, b), 2);
  EXPECT_EQ(GetLevel(rt, 0), a);
  EXPECT_EQ(GetLevel(rt, 1), c);

  FreeAllLevels(rt);
  EXPECT_EQ(rt.LevelCount, 0);
  EXPECT_EQ(rt.ProcListArray.Size(), 0u);
}

TEST(Levels, FirstOfTwoEqualNamesIsFound) {
  ProcList list = MakeList({"Same", "same"});
  EXPECT_EQ(FindProcedure(list, StrBuf("SAME")), list[0]);
  FakePlatform platform;
  Runtime rt(platform);
  ASSERT_TRUE(PushLevel(rt, list));
  FreeAllLevels(rt);
}

}  // namespace
