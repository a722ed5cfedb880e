#include "base/json.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonStringTest, EscapesWhatJsonRequiresAndRepairsBrokenUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c\n\r\t\x01\x1F"),
            "\"a\\\"b\\\\c\\n\\r\\t\\u0001\\u001f\"");
  // DEL is allowed in a JSON string and kept; so are characters of every
  // length.
  EXPECT_EQ(JsonString("x\x7Fy"), "\"x\x7Fy\"");
  EXPECT_EQ(JsonString("セクション\xF0\x9F\x98\x80"),
            "\"セクション\xF0\x9F\x98\x80\"");
  // A Shift-JIS byte pair, an overlong form and a cut sequence: U+FFFD for
  // each byte that starts no UTF-8 character.
  EXPECT_EQ(JsonString("\x83\x5C|\xC0\xAF|\xE3\x82"),
            "\"\xEF\xBF\xBD\\\\|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD"
            "\xEF\xBF\xBD\"");
}

}  // namespace
