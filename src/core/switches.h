// The switches of the command line for deployment tools: /quiet, /passive,
// /answers=LIST, /log=PATH, /exitcodes, /? and /help (also with "-", any
// case). They are whole words of the command line, separated by blanks
// outside double quotes, and are taken out of it before the options /t and
// /i are looked for; a command line without them is left as it is.
#pragma once

#include <string>

#include "run/interaction.h"

struct CommandSwitches {
  // What the switches ask of the interaction (answers, transcript, codes).
  InteractionSwitches interaction;
  // /? or /help: the help is shown, nothing else is done.
  bool help = false;
  // The first switch that cannot be taken, as written (a value missing or
  // not understood, one given twice, one glued to another, /quiet with
  // /passive); empty when every switch is good.
  std::string refused;
  // The command line without the switch words: where /t and /i are looked
  // for, and the process's CommandLine.
  std::string rest;
};

// Reads the switches of commandLine (ANSI code page).
CommandSwitches TakeSwitches(const char* commandLine, const CodePage& cp);
