// MSGBOX: a message to the user, whose answer may stop the run.
#pragma once

#include "run/procedure.h"

struct MsgBoxProcedure : Procedure {
  StrBuf FLAG;
  StrBuf TYPE;
  StrBuf TEXT;
  StrBuf ISABORT;
};

bool ExecuteMsgBox(Runtime& rt, Procedure& record);

// The box kinds of TYPE: the word and the box's style.
struct BoxKind {
  const char* word;
  unsigned style;
};
extern const BoxKind kBoxKinds[4];

// The kind whose word equals word (ASCII case ignored), or null.
const BoxKind* FindBoxKind(const StrBuf& word, const CodePage& cp);
