// The updater's command line built from a program's argument vector, where
// the system hands over words instead of one line (POSIX, and the settings
// checker on every system).
#pragma once

#include <string>
#include <vector>

// words (without the program's name) joined by single spaces; a word holding
// a space or a tab is enclosed in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& words);
