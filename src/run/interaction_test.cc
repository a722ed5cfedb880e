#include "run/interaction.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "run/runtime.h"

namespace {

class InteractionTest : public ::testing::Test {
 protected:
  InteractionTest() : rt(platform) { rt.Caption.Assign("Cap"); }
  ~InteractionTest() override {
    unsetenv("UPDATER_ANSWERS");
    unsetenv("UPDATER_TRANSCRIPT");
  }
  void Answers(const char* words) {
    setenv("UPDATER_ANSWERS", words, 1);
    SetUpInteraction(rt);
  }
  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(InteractionTest, UnattendedAnswersAreTakenInOrder) {
  Answers(" Yes ,no,,default,DEFAULT");
  const unsigned question = kMbYesNo | kMbIconQuestion;
  const unsigned warning = kMbYesNo | kMbIconWarning | kMbDefButton2;
  EXPECT_EQ(ShowMessageBox(rt, "a", kMbIconInformation), kIdOk);  // no word used
  EXPECT_EQ(ShowMessageBox(rt, "b", warning), kIdYes);
  EXPECT_EQ(ShowMessageBox(rt, "c", question), kIdNo);
  EXPECT_EQ(ShowMessageBox(rt, "d", warning), kIdNo);     // empty: default
  EXPECT_EQ(ShowMessageBox(rt, "e", question), kIdYes);   // "default"
  EXPECT_EQ(ShowMessageBox(rt, "f", warning), kIdNo);     // any case
  EXPECT_EQ(ShowMessageBox(rt, "g", question), kIdYes);   // none left
  EXPECT_TRUE(platform.boxes.empty());
}

// A word that is none of the four is kept, as written, for start-up to
// refuse; the first one only.
TEST_F(InteractionTest, UnknownAnswerWordIsKept) {
  Answers("yes, Nein ,ja");
  EXPECT_EQ(rt.answers.badWord, "Nein");
  EXPECT_EQ(platform.warnings,
            std::vector<std::string>{
                "updater: unknown answer \"Nein\" in UPDATER_ANSWERS (yes, "
                "no, default or empty); nothing is run"});
  rt.answers.badWord.clear();
  Answers("YES,No,, default ");
  EXPECT_EQ(rt.answers.badWord, "");
  EXPECT_EQ(platform.warnings.size(), 1u);
}

// A transcript that cannot be opened is one warning to the user interface;
// the run goes on without it.
TEST_F(InteractionTest, TranscriptThatCannotBeOpenedIsWarnedOnce) {
  setenv("UPDATER_TRANSCRIPT", dir.path().c_str(), 1);  // a directory
  Answers("");
  EXPECT_FALSE(rt.transcript.IsOpen());
  rt.transcript.End("completed", 0);
  EXPECT_EQ(
      platform.warnings,
      std::vector<std::string>{"updater: warning: cannot open the "
                               "transcript \"" +
                               dir.path() + "\"; the run goes on without it"});
}

TEST_F(InteractionTest, EmptyAnswersStillMeanUnattended) {
  Answers("");
  EXPECT_EQ(ShowMessageBox(rt, "x", kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(InteractionTest, WithoutAnswersTheBoxIsShown) {
  unsetenv("UPDATER_ANSWERS");
  SetUpInteraction(rt);
  platform.boxAnswers = {kIdNo};
  EXPECT_EQ(ShowMessageBox(rt, "x", kMbYesNo | kMbIconQuestion), kIdNo);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, "Cap");
}

TEST_F(InteractionTest, TranscriptRecordsBoxesAsJsonLines) {
  setenv("UPDATER_TRANSCRIPT", (dir / "t.jsonl").c_str(), 1);
  Answers("no");
  rt.Caption.Assign("A \"quoted\" caption");
  ShowMessageBox(rt, "line1\nline2\ttab\\", kMbYesNo | kMbIconWarning | kMbDefButton2);
  ShowMessageBox(rt, "bad \xff byte", kMbIconError);
  rt.transcript.End("stopped", 1602);
  EXPECT_EQ(dir.Read("t.jsonl"),
            "{\"event\":\"box\",\"caption\":\"A \\\"quoted\\\" caption\","
            "\"text\":\"line1\\nline2\\ttab\\\\\",\"icon\":\"warning\","
            "\"buttons\":\"yesno\",\"answer\":\"no\"}\n"
            "{\"event\":\"box\",\"caption\":\"A \\\"quoted\\\" caption\","
            "\"text\":\"bad \xEF\xBF\xBD byte\",\"icon\":\"error\","
            "\"buttons\":\"ok\",\"answer\":\"ok\"}\n"
            "{\"event\":\"end\",\"outcome\":\"stopped\",\"code\":1602}\n");
}

}  // namespace
