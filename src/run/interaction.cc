#include "run/interaction.h"

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

std::vector<std::string> SplitAnswers(const std::string& list) {
  std::vector<std::string> words;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    words.push_back(Trimmed(list.substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return words;
}

bool IsAnswerWord(const std::string& word, const CodePage& cp) {
  const std::string folded = cp.FoldAsciiCase(word);
  return folded.empty() || folded == "yes" || folded == "no" ||
         folded == "default";
}

void SetUpInteraction(Runtime& rt, const InteractionSwitches& switches) {
  std::string value;
  const bool bySwitch =
      switches.quiet || switches.passive || switches.answersGiven;
  if (bySwitch || rt.platform.system().GetEnv("UPDATER_ANSWERS", value)) {
    rt.answers.unattended = true;
    rt.answers.words = SplitAnswers(bySwitch ? switches.answers : value);
    rt.answers.next = 0;
    for (std::string& word : rt.answers.words) {
      // The words of /answers= were checked with the command line.
      if (!bySwitch && rt.answers.badWord.empty() &&
          !IsAnswerWord(word, rt.codePage)) {
        rt.answers.badWord = word;
        // Unattended boxes are shown nowhere: say it where a caller looks.
        rt.platform.ui().Warn(("updater: unknown answer \"" + word +
                               "\" in UPDATER_ANSWERS (yes, no, default or "
                               "empty); nothing is run")
                                  .c_str());
      }
      word = rt.codePage.FoldAsciiCase(word);
    }
  }
  if (switches.quiet) rt.progressHidden = true;
  if (switches.exitCodes ||
      (rt.platform.system().GetEnv("UPDATER_EXITCODE", value) && value == "1"))
    rt.outcomeExitCodes = true;
  rt.logBySwitch = switches.logGiven;
  // A transcript that cannot be opened has been warned about by Open: the
  // run goes on without it.
  if (switches.logGiven)
    (void)rt.transcript.Open(rt.platform, switches.log.c_str());
  else if (rt.platform.system().GetEnv("UPDATER_TRANSCRIPT", value) &&
           !value.empty())
    (void)rt.transcript.Open(rt.platform, value.c_str());
}

void ShowHelpText(Runtime& rt, const char* text) {
  const int answer = rt.platform.ui().ShowHelp(text, rt.Caption.Text(),
                                               !rt.answers.unattended);
  if (rt.transcript.IsOpen())
    rt.transcript.Box(rt.platform.system().AnsiToUtf8(rt.Caption.Text()),
                      rt.platform.system().AnsiToUtf8(text), "information",
                      "ok", AnswerName(answer > 0 ? answer : kIdOk));
}

int ShowMessageBox(Runtime& rt, const char* text, unsigned style) {
  rt.progress.Pause();
  int answer = rt.answers.unattended
                   ? UnattendedAnswer(rt.answers, style)
                   : rt.platform.ui().ShowBox(text, rt.Caption.Text(), style);
  if (rt.transcript.IsOpen())
    rt.transcript.Box(rt.platform.system().AnsiToUtf8(rt.Caption.Text()),
                      rt.platform.system().AnsiToUtf8(text), IconName(style),
                      (style & kMbTypeMask) == kMbYesNo ? "yesno" : "ok",
                      AnswerName(answer));
  return answer;
}
