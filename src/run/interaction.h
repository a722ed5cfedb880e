// The one way the updater shows a message box: honours the unattended mode
// (UPDATER_ANSWERS) and records every box in the transcript.
#pragma once

#include <string>
#include <vector>

#include "base/code_page.h"

struct Runtime;

// What the command line's switches ask of the interaction. Each one given
// wins over its environment variable.
struct InteractionSwitches {
  // /quiet: boxes answered, no progress shown; /passive: boxes answered.
  bool quiet = false;
  bool passive = false;
  // /answers=LIST: the list of UPDATER_ANSWERS (boxes answered).
  bool answersGiven = false;
  std::string answers;
  // /log=PATH: the transcript, instead of UPDATER_TRANSCRIPT.
  bool logGiven = false;
  std::string log;
  // /exitcodes: as UPDATER_EXITCODE=1.
  bool exitCodes = false;
};

// Reads UPDATER_ANSWERS, UPDATER_TRANSCRIPT and UPDATER_EXITCODE, each
// unless a switch stands in for it. /quiet, /passive and /answers= make the
// run unattended and leave UPDATER_ANSWERS unread: their words are those of
// /answers=, or none.
void SetUpInteraction(Runtime& rt, const InteractionSwitches& switches = {});

// The words of a comma-separated list of answers, blanks trimmed, as
// written; an empty list is one empty word.
std::vector<std::string> SplitAnswers(const std::string& list);
// True when word (trimmed) is an answer of such a list: "yes", "no",
// "default" (ASCII case ignored) or empty.
bool IsAnswerWord(const std::string& word, const CodePage& cp);

// The help (/? or /help): on Windows a box with the information icon, on
// Linux printed to standard output. Under unattended answers no box is
// shown. Recorded in the transcript as a box answered OK.
void ShowHelpText(Runtime& rt, const char* text);

// Shows text with rt.Caption and style; returns the answer (kIdOk, kIdYes,
// kIdNo, kIdCancel, or 0 when no box could be shown).
int ShowMessageBox(Runtime& rt, const char* text, unsigned style);
