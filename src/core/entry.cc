// The program's entry: WinMain on Windows, main elsewhere. Both hand the
// command line without the program's name to the run and return 0.
#include <string>

#include "core/runtime.h"
#include "core/startup.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  Runtime rt(*platform);
  return RunProgram(rt, commandLine != nullptr ? commandLine : "");
}

#else
#include <csignal>

// The arguments joined by single spaces; an argument holding a space or a
// tab is enclosed in double quotes.
int main(int argc, char** argv) {
  // A write beyond the file-size limit, or to a pipe nobody reads any more
  // (the console of the message boxes), must fail like a write to a full
  // disk, not end the run halfway: these signals are ignored. Started
  // programs get the default handling back.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (i > 1) commandLine += ' ';
    if (argument.find_first_of(" \t") != std::string::npos)
      commandLine += '"' + argument + '"';
    else
      commandLine += argument;
  }
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  Runtime rt(*platform);
  return RunProgram(rt, commandLine.c_str());
}

#endif
