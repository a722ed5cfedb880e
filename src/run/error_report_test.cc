#include "run/error_report.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/code_page.h"
#include "platform/fake/fake_platform.h"
#include "run/runtime.h"

namespace {

class Collect : public ErrorSink {
 public:
  void Take(Runtime&, const ErrorReport& report) override {
    reports.push_back(report);
  }
  std::vector<ErrorReport> reports;
};

// The run's sink shows the report as an error box; another sink receives
// the same report as a value instead, with the section and key it names.
TEST(ErrorReport, GoesToTheRunsOneSink) {
  FakePlatform platform;
  Runtime rt(platform);
  EXPECT_FALSE(ShowKeyErrorReport(rt, kMsgBadFormat, "Sec", "KEY"));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style, static_cast<unsigned>(kMbIconError));
  const std::string shown = platform.boxes[0].text;
  EXPECT_NE(shown.find("\"Sec\""), std::string::npos);

  Collect collect;
  rt.errorSink = &collect;
  EXPECT_FALSE(ShowKeyErrorReport(rt, kMsgBadFormat, "Sec", "KEY"));
  // Message 12 (a command's own): a path and a mask.
  constexpr uint32_t kPathAndMask = 12;
  EXPECT_FALSE(ShowErrorReport(rt, kPathAndMask, "/a", 0x21u));
  EXPECT_EQ(platform.boxes.size(), 1u);
  ASSERT_EQ(collect.reports.size(), 2u);
  EXPECT_EQ(collect.reports[0].id, kMsgBadFormat);
  EXPECT_EQ(collect.reports[0].text, shown);
  EXPECT_EQ(collect.reports[0].section, "Sec");
  EXPECT_EQ(collect.reports[0].key, "KEY");
  EXPECT_EQ(collect.reports[1].id, kPathAndMask);
  EXPECT_NE(collect.reports[1].text.find("0x00000021"), std::string::npos);
  EXPECT_TRUE(collect.reports[1].section.empty());
}

}  // namespace
