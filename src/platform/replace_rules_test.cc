#include "platform/replace_rules.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"

TEST(ReplaceRulesTest, OneLookDecidesEveryBuild) {
  using V = ReplaceVerdict;
  const uint32_t kLink = kAttrReparsePoint;
  const struct {
    uint32_t attributes;
    bool sameFile;
    V verdict;
  } cases[] = {
      {kInvalidAttributes, false, V::kFree},
      {kInvalidAttributes, true, V::kFree},  // no look at a free name
      {kAttrArchive, false, V::kReplace},
      {kAttrNormal, false, V::kReplace},
      {kAttrArchive | kAttrSystem, false, V::kReplace},
      {kLink | kAttrArchive, false, V::kReplace},  // the link, not behind it
      {kAttrDirectory, false, V::kDirectory},
      {kLink | kAttrDirectory, false, V::kDirectory},
      {kAttrDirectory | kAttrReadOnly, true, V::kDirectory},
      {kAttrArchive | kAttrReadOnly, false, V::kReadOnly},
      {kAttrArchive | kAttrHidden, false, V::kReadOnly},
      {kLink | kAttrReadOnly, false, V::kReadOnly},
      {kAttrReadOnly, true, V::kReadOnly},
      {kAttrArchive, true, V::kSameFile},
      {kLink | kAttrArchive, true, V::kSameFile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.attributes << " same "
                                    << c.sameFile);
    const V verdict = JudgeReplace(ReplaceTargetOf(c.attributes, c.sameFile));
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(Refused(verdict), c.verdict != V::kFree &&
                                    c.verdict != V::kReplace);
  }
}
