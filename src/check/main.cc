// updater-check: finds the faults of a settings file before it ships.
//
//   updater-check [--json] SETTINGS.ini [-- ARGUMENTS...]
//   updater-check --crc FILE...
//
// ARGUMENTS stand for the updater's command line ({?Param} queries, the
// caption). Exit code: 0 without errors, 1 with errors, 2 when the file
// cannot be read or the command line is wrong.
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "check/checker.h"
#include "check/recording_platform.h"
#include "check/report.h"
#include "commands/crc.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "run/runtime.h"

namespace {

constexpr int kExitClean = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUnreadable = 2;

const char kUsage[] =
    "usage: updater-check [--json] SETTINGS.ini [-- ARGUMENTS...]\n"
    "       updater-check --crc FILE...\n"
    "\n"
    "Reads SETTINGS.ini as the updater would, with the symbols and queries\n"
    "of this machine, changes nothing, and prints one line per finding:\n"
    "errors (the run would show a message and stop), warnings (the run goes\n"
    "on, probably not as meant) and notes. ARGUMENTS stand for the\n"
    "updater's command line. --json prints each finding as a JSON object.\n"
    "Exit code: 0 without errors, 1 with errors, 2 when the file cannot be\n"
    "read.\n"
    "\n"
    "--crc prints each FILE's checksum as the CRC key takes it (0x1A2B3C4D),\n"
    "a tab and the file's name; exit code 2 when a file cannot be read.\n";

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// updater-check --crc: the values to write in a CRC key, read as the
// updater reads them (an empty or unreadable file has none).
int PrintChecksums(int argc, char** argv) {
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return kExitUnreadable;
  }
  std::unique_ptr<SystemPlatform> platform = CreateSystemPlatform();
  Runtime rt(*platform);
  int code = kExitClean;
  for (int i = 2; i < argc; ++i) {
    uint32_t crc = 0;
    if (!FileCrc32(rt, argv[i], crc)) {
      std::fprintf(stderr,
                   "updater-check: cannot read %s (missing, empty or held "
                   "open): the updater would find no checksum\n",
                   argv[i]);
      code = kExitUnreadable;
      continue;
    }
    std::printf("0x%08X\t%s\n", static_cast<unsigned>(crc), argv[i]);
  }
  std::fflush(stdout);
  return code;
}

int CheckMain(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--crc")
    return PrintChecksums(argc, argv);
  bool json = false;
  std::string settings;
  std::vector<std::string> arguments;
  bool rest = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (rest) {
      arguments.push_back(argument);
    } else if (argument == "--") {
      rest = true;
    } else if (argument == "--json") {
      json = true;
    } else if (argument == "--help" || argument == "-h" || argument == "/?") {
      std::fputs(kUsage, stdout);
      return kExitClean;
    } else if ((argument.size() > 1 && argument[0] == '-') ||
               !settings.empty()) {
      std::fprintf(stderr, "updater-check: unexpected argument \"%s\"\n\n%s",
                   argument.c_str(), kUsage);
      return kExitUnreadable;
    } else {
      settings = argument;
    }
  }
  if (settings.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUnreadable;
  }

  std::unique_ptr<SystemPlatform> system = CreateSystemPlatform();
  RecordingPlatform platform(*system);
  StrBuf workingDirectory;
  if (!platform.system().CurrentDirectory(workingDirectory))
    workingDirectory.Assign("");
  const StrBuf path =
      SettingsFilePath(settings.c_str(), workingDirectory.Text(),
                       platform.files().PathSeparator(), platform.codePage());
  Checker checker(platform);
  const std::string file = platform.system().AnsiToUtf8(settings.c_str());
  if (!checker.Check(path.Text(), JoinCommandLine(arguments).c_str())) {
    std::fprintf(stderr, "updater-check: cannot read the settings file %s\n",
                 file.c_str());
    return kExitUnreadable;
  }
  for (const Finding& finding : checker.findings())
    Print(json ? FindingJson(file, checker.caption(), finding)
               : FindingText(file, finding));
  if (!json) Print(SummaryText(file, checker));
  for (const std::string& action : platform.refused)
    std::fprintf(stderr, "updater-check: refused to act: %s\n", action.c_str());
  std::fflush(stdout);
  return checker.Count(Severity::kError) > 0 ? kExitErrors : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return CheckMain(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("updater-check: out of memory\n", stderr);
    return kExitUnreadable;
  }
}
