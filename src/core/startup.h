// Start-up and the command line.
#pragma once

#include "base/str_buf.h"

struct Runtime;


bool GetCommandLineOption(const StrBuf& text, char letter, StrBuf& out);
bool Startup(Runtime& rt, const char* commandLine);

// The whole run: start-up, the main list, freeing every level; the result
// is the process exit code (always 0).
int RunProgram(Runtime& rt, const char* commandLine);
