#include "check/report.h"

#include <gtest/gtest.h>

namespace {

TEST(Report, JsonStringsAreEscapedAndValidUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\n\\t\\u0001\"");
  EXPECT_EQ(JsonString("セクション"), "\"セクション\"");
  // A Shift-JIS byte pair, an overlong form and a cut sequence.
  EXPECT_EQ(JsonString("\x83\x5C|\xC0\xAF|\xE3\x82"),
            "\"\xEF\xBF\xBD\\\\|\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(Report, OneLinePerFinding) {
  Finding error;
  error.severity = Severity::kError;
  error.kind = "missing-key";
  error.section = "Copy";
  error.key = "TO";
  error.action = "the key is missing";
  error.message = "設定。\n\nセクション：\"Copy\"\nパラメータ：\"TO\"";
  EXPECT_EQ(FindingText("u.ini", error),
            "u.ini: [Copy] TO: error: the key is missing | message: 設定。 "
            "セクション：\"Copy\" パラメータ：\"TO\"");
  EXPECT_EQ(FindingJson("u.ini", "Cap", error),
            "{\"file\":\"u.ini\",\"section\":\"Copy\",\"key\":\"TO\","
            "\"severity\":\"error\",\"kind\":\"missing-key\","
            "\"action\":\"the key is missing\",\"message\":\"設定。\\n\\n"
            "セクション：\\\"Copy\\\"\\nパラメータ：\\\"TO\\\"\",\"caption\":\"Cap\"}");

  Finding note;
  note.severity = Severity::kNote;
  note.kind = "unreached";
  note.section = "Z";
  note.action = "never read";
  EXPECT_EQ(FindingText("u.ini", note), "u.ini: [Z]: note: never read");
  EXPECT_EQ(FindingJson("u.ini", "Cap", note).find("message"), std::string::npos);
}

}  // namespace
