// Helpers of the POSIX process start, visible for tests.
#pragma once

#include <string>
#include <vector>

#include "base/code_page.h"

// Splits a Windows command line into arguments as the Windows C runtime
// does: blanks (space, tab) separate words outside double quotes; in the
// first word (the program) quotes only group and backslashes are plain;
// in the others 2n backslashes before a quote give n backslashes and the
// quote opens or closes a quoted run, 2n+1 give n backslashes and a literal
// quote, and "" inside a quoted run is a literal quote. Multi-byte
// characters of the ANSI code page are never taken apart.
std::vector<std::string> SplitCommandLine(const char* commandLine,
                                          const CodePage& cp);

// The file that a command line starts, read as CreateProcess reads a line
// without application name: a quoted first word is the program; an unquoted
// one is tried at each blank, shortest first, until it names a regular
// file; when none does, the first word.
std::string ProgramOfCommandLine(const char* commandLine, const CodePage& cp);
