#include "platform/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLineTest, QuotesOnlyWordsWithBlanks) {
  EXPECT_EQ(JoinCommandLine({}), "");
  // An empty word still takes its place between two spaces; quotes inside a
  // word are handed over as they are.
  EXPECT_EQ(JoinCommandLine({"/t", "My Caption", "", "a\tb", "x\"y"}),
            "/t \"My Caption\"  \"a\tb\" x\"y");
}
