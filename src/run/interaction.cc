#include "run/interaction.h"

#include <cstdio>
#include <string>

#include "base/code_page.h"
#include "run/runtime.h"

namespace {

std::string Trimmed(const std::string& word) {
  size_t first = word.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = word.find_last_not_of(" \t");
  return word.substr(first, last - first + 1);
}

const char* IconName(unsigned style) {
  switch (style & kMbIconMask) {
    case kMbIconError: return "error";
    case kMbIconQuestion: return "question";
    case kMbIconWarning: return "warning";
    case kMbIconInformation: return "information";
    default: return "none";
  }
}

const char* AnswerName(int answer) {
  switch (answer) {
    case kIdOk: return "ok";
    case kIdYes: return "yes";
    case kIdNo: return "no";
    default: return "cancel";
  }
}

// The answer of a box in unattended mode.
int UnattendedAnswer(Answers& answers, unsigned style) {
  if ((style & kMbTypeMask) != kMbYesNo) return kIdOk;
  int byDefault = (style & kMbDefMask) == kMbDefButton2 ? kIdNo : kIdYes;
  if (answers.next >= answers.words.size()) return byDefault;
  // Every word was checked at start-up: yes, no, or the default button.
  const std::string& word = answers.words[answers.next++];
  if (word == "yes") return kIdYes;
  if (word == "no") return kIdNo;
  return byDefault;
}

}  // namespace

void SetUpInteraction(Runtime& rt) {
  std::string value;
  if (rt.platform.GetEnv("UPDATER_ANSWERS", value)) {
    rt.answers.unattended = true;
    rt.answers.words.clear();
    rt.answers.next = 0;
    size_t start = 0;
    while (true) {
      size_t comma = value.find(',', start);
      const std::string word = Trimmed(value.substr(start, comma - start));
      const std::string folded = FoldAsciiCase(word);
      if (rt.answers.badWord.empty() && !folded.empty() && folded != "yes" &&
          folded != "no" && folded != "default") {
        rt.answers.badWord = word;
        // Unattended boxes are shown nowhere: say it where a caller looks.
        std::fprintf(stderr,
                     "updater: unknown answer \"%s\" in UPDATER_ANSWERS "
                     "(yes, no, default or empty); nothing is run\n",
                     word.c_str());
      }
      rt.answers.words.push_back(folded);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (rt.platform.GetEnv("UPDATER_EXITCODE", value) && value == "1")
    rt.outcomeExitCodes = true;
  if (rt.platform.GetEnv("UPDATER_TRANSCRIPT", value) && !value.empty())
    rt.transcript.Open(rt.platform, value.c_str());
}

int ShowMessageBox(Runtime& rt, const char* text, unsigned style) {
  rt.progress.Pause();
  int answer = rt.answers.unattended
                   ? UnattendedAnswer(rt.answers, style)
                   : rt.platform.ShowBox(text, rt.Caption.Text(), style);
  if (rt.transcript.IsOpen())
    rt.transcript.Box(rt.platform.AnsiToUtf8(rt.Caption.Text()),
                      rt.platform.AnsiToUtf8(text), IconName(style),
                      (style & kMbTypeMask) == kMbYesNo ? "yesno" : "ok",
                      AnswerName(answer));
  return answer;
}
