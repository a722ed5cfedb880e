#include "check/report.h"

#include <gtest/gtest.h>

namespace {

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
