// The program's entry: WinMain on Windows, main elsewhere. Both hand the
// command line without the program's name to the run and return 0.
#include <string>

#include "core/startup.h"
#include "platform/in_use.h"
#include "platform/platform.h"
#include "platform/stop_request.h"
#include "run/in_use.h"
#include "run/rollback.h"
#include "run/runtime.h"

namespace {

// The run on the system's platform, its files journaled for rollback and
// guarded for files in use.
int RunOnTheSystem(const char* commandLine) {
  std::unique_ptr<SystemPlatform> platform = CreateSystemPlatform();
  RollbackPlatform journaled(platform->files(), platform->system());
  std::unique_ptr<InUseHandling> inUse = CreateSystemInUseHandling();
  InUsePlatform guarded(journaled, *inUse);
  Platform run = platform->WithFiles(guarded);
  Runtime rt(run);
  rt.rollback = &journaled;
  rt.inUse = &guarded;
  guarded.Attach(rt);
  return RunProgram(rt, commandLine);
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  WatchStopRequests();
  return RunOnTheSystem(commandLine != nullptr ? commandLine : "");
}

#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/command_line.h"

namespace {

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that the
// caller left closed, so that no file opened later (the transcript, a
// settings file) takes one of them and receives what is meant for the
// console. Where /dev/null cannot be opened, the root directory, read only,
// takes the place: every write to it fails. False when neither can be
// opened; the updater then does not run, since what it would write to the
// console could land in any file it opens.
bool OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is fd itself: those below it are open.
    int opened = open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened < 0) opened = open("/", O_RDONLY | O_DIRECTORY);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything else is opened.
  if (!OpenStandardDescriptors()) return 0;
  // A write beyond the file-size limit, or to a pipe nobody reads any more
  // (the console of the message boxes), must fail like a write to a full
  // disk, not end the run halfway: these signals are ignored. Started
  // programs get the default handling back.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  // A closed terminal never ends the run; SIGTERM and SIGINT stop it at
  // its next step.
  WatchStopRequests();
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(argv[i]);
  const std::string commandLine = JoinCommandLine(words);
  return RunOnTheSystem(commandLine.c_str());
}

#endif
