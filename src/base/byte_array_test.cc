#include "base/byte_array.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const unsigned char kEight[8] = {1, 2, 3, 4, 5, 6, 7, 8};

bool Holds(const ByteArray& a, const unsigned char* bytes, uint32_t n) {
  return a.Size() == n && (n == 0 || std::memcmp(a.Data(), bytes, n) == 0);
}

TEST(ByteArrayTest, AllocZeroesAndReplaces) {
  ByteArray a;
  EXPECT_EQ(a.Size(), 0u);
  EXPECT_EQ(a.Data(), nullptr);
  ASSERT_TRUE(a.Assign(kEight, 8));
  ASSERT_TRUE(a.Alloc(16));
  EXPECT_EQ(a.Size(), 16u);
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(a.Data()[i], 0);
  ASSERT_TRUE(a.Alloc(0));
  EXPECT_EQ(a.Size(), 0u);
  EXPECT_EQ(a.Data(), nullptr);
}

TEST(ByteArrayTest, AppendGrowsExactly) {
  ByteArray a;
  ASSERT_TRUE(a.Append(kEight, 3));
  ASSERT_TRUE(a.Append(kEight + 3, 5));
  EXPECT_TRUE(Holds(a, kEight, 8));
  ASSERT_TRUE(a.Append(kEight, 0));
  EXPECT_TRUE(Holds(a, kEight, 8));
  // Appending the array to itself doubles it.
  ASSERT_TRUE(a.Append(a));
  EXPECT_EQ(a.Size(), 16u);
  EXPECT_EQ(std::memcmp(a.Data() + 8, kEight, 8), 0);
}

TEST(ByteArrayTest, RemoveRebuildsFromTheRest) {
  ByteArray a;
  a.Assign(kEight, 8);
  ASSERT_TRUE(a.Remove(4, 4));
  EXPECT_TRUE(Holds(a, kEight, 4));

  a.Assign(kEight, 8);
  ASSERT_TRUE(a.Remove(0, 4));
  EXPECT_TRUE(Holds(a, kEight + 4, 4));

  a.Assign(kEight, 8);
  ASSERT_TRUE(a.Remove(0, 8));
  EXPECT_EQ(a.Size(), 0u);
  EXPECT_EQ(a.Data(), nullptr);

  a.Assign(kEight, 8);
  ASSERT_TRUE(a.Remove(2, 3));
  const unsigned char middle[5] = {1, 2, 6, 7, 8};
  EXPECT_TRUE(Holds(a, middle, 5));

  // A range past the end stops at the end; an offset past it removes
  // nothing.
  a.Assign(kEight, 8);
  ASSERT_TRUE(a.Remove(6, 0xFFFFFFFFu));
  EXPECT_TRUE(Holds(a, kEight, 6));
  EXPECT_FALSE(a.Remove(6, 1));
  EXPECT_TRUE(Holds(a, kEight, 6));
}

TEST(ByteArrayTest, SliceConcatAndCompare) {
  ByteArray a;
  a.Assign(kEight, 8);
  ByteArray part;
  a.Slice(part, 2, 3);
  const unsigned char three[3] = {3, 4, 5};
  EXPECT_TRUE(Holds(part, three, 3));
  a.Slice(part, 6, 100);  // only the bytes held
  EXPECT_TRUE(Holds(part, kEight + 6, 2));
  a.Slice(part, 9, 1);
  EXPECT_EQ(part.Size(), 0u);
  a.Slice(a, 4, 4);  // into itself
  EXPECT_TRUE(Holds(a, kEight + 4, 4));

  ByteArray head;
  head.Assign(kEight, 4);
  ByteArray joined;
  head.Concat(joined, a);
  EXPECT_TRUE(Holds(joined, kEight, 8));
  EXPECT_TRUE(Holds(head, kEight, 4));

  ByteArray copy(joined);
  EXPECT_TRUE(copy.Equals(joined));
  copy.Data()[7] = 0;
  EXPECT_TRUE(copy.NotEquals(joined));
  EXPECT_FALSE(head.Equals(joined));
  EXPECT_TRUE(ByteArray().Equals(ByteArray()));
}

}  // namespace
