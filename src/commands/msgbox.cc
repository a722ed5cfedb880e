// MSGBOX: shows a message with the run's caption, possibly only when an
// earlier procedure's result has a given value. OK or Yes sets the result
// flag; ISABORT decides which answers stop the run.
#include "commands/msgbox.h"

#include "platform/platform.h"
#include "run/error_report.h"
#include "run/interaction.h"
#include "run/levels.h"

const BoxKind kBoxKinds[4] = {
    {"ERROR", kMbIconError},
    {"INFORMATION", kMbIconInformation},
    {"WARNING", kMbYesNo | kMbIconWarning | kMbDefButton2},
    {"QUESTION", kMbYesNo | kMbIconQuestion},
};

const BoxKind* FindBoxKind(const StrBuf& word, const CodePage& cp) {
  for (const BoxKind& kind : kBoxKinds)
    if (word.Equals(kind.word, cp)) return &kind;
  return nullptr;
}

bool ExecuteMsgBox(Runtime& rt, Procedure& record) {
  auto& box = static_cast<MsgBoxProcedure&>(record);

  // FLAG "name,value": show the box only when procedure name of the current
  // level has that result. A name alone is no condition.
  if (box.FLAG.FieldCount(",", rt.codePage) >= 2) {
    StrBuf name = box.FLAG.Field(0, ",", rt.codePage);
    name.Trim(" ", " ", rt.codePage);
    Procedure* target = FindProcedure(GetCurrentLevel(rt), name, rt.codePage);
    if (target == nullptr)
      return ShowErrorReport(rt, kMsgBadSymbol, box.FLAG.Text());
    int32_t value = box.FLAG.Field(1, ",", rt.codePage).ToInt();
    if (target->ResultFlag != value) return true;
  }

  const BoxKind* kind = FindBoxKind(box.TYPE, rt.codePage);
  if (kind == nullptr)
    return ShowErrorReport(rt, kMsgBadSymbol, box.TYPE.Text());

  box.TEXT.ReplaceAll("%n", "\n", rt.codePage);
  box.TEXT.ReplaceAll("%t", "\t", rt.codePage);

  int answer = ShowMessageBox(rt, box.TEXT.Text(), kind->style);
  bool goOn = true;
  switch (answer) {
    case kIdOk:
    case kIdYes:
      record.ResultFlag = 1;
      goOn = box.ISABORT.Field(0, ",", rt.codePage).ToInt() == 0;
      break;
    case kIdCancel:
    case kIdNo:
      goOn = box.ISABORT.Field(1, ",", rt.codePage).ToInt() == 0;
      break;
    default:
      break;
  }
  // A stop after a question the user answered is the user's; after a box
  // with only OK it is the script's refusal (the user had no choice).
  if (!goOn && (kind->style & kMbTypeMask) == kMbYesNo) rt.stoppedByUser = true;
  return goOn;
}
