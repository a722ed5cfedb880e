// A whole run of a fuzzed settings file, from start-up to the freeing of
// the last level, against the recording platform: the settings file and
// the folders are read, but no file, directory, shortcut, process or
// registry value is changed, no program is started or waited for, and
// every message box is answered with its default button. Files are only
// read inside a private directory, and no running program is ever found,
// so that a run depends on its input alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "check/recording_platform.h"
#include "core/startup.h"
#include "fuzz_support.h"
#include "platform/posix/posix_platform.h"
#include "run/runtime.h"
#include "settings/profile_cache.h"

namespace {

class SandboxPlatform : public PosixPlatform {
 public:
  std::unique_ptr<ExclusiveFile> OpenExclusive(const char* path) override {
    const std::string& inside = FuzzDirectory();
    if (std::string(path).compare(0, inside.size() + 1, inside + "/") != 0)
      return nullptr;
    return PosixPlatform::OpenExclusive(path);
  }
  uint32_t FindProcessId(const char*) override { return 0; }
};

const char* const kCommandLines[] = {
    "", "/tFuzz", "/tFuzz one \"two words\" three", "-iupdater.ini x y",
    "/iother.ini", "/t\"A B\" /iupdater.ini --flag",
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  unsetenv("UPDATER_ANSWERS");
  unsetenv("UPDATER_TRANSCRIPT");
  // Relative paths of a settings file lie in the private directory too.
  if (chdir(FuzzDirectory().c_str()) != 0) std::abort();
  const std::string other = FuzzDirectory() + "/data.bin";
  WriteFuzzFile(other, "123456789", 9);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool shiftJis = in.ConsumeBool();
  const char* commandLine =
      kCommandLines[in.ConsumeIntegralInRange<size_t>(
          0, sizeof kCommandLines / sizeof kCommandLines[0] - 1)];
  const std::string settings = in.ConsumeRemainingBytesAsString();
  const std::string directory = FuzzDirectory();
  WriteFuzzFile(directory + "/updater.ini", settings.data(), settings.size());

  // Two runs of the same file through the same reader (the second one
  // served from its cache) see and ask for exactly the same: a run keeps
  // no state of its own.
  SandboxPlatform reader;
  reader.SetCodePage(shiftJis ? kCodePageShiftJis : kCodePageUtf8);
  const auto settingsFile =
      std::make_shared<ProfileCache>(reader, reader.codePage());
  std::vector<std::string> first;
  for (int run = 0; run < 2; ++run) {
    RecordingPlatform recording(reader);
    recording.modulePath = directory + "/updater";
    Runtime rt(recording);
    rt.settingsFile = settingsFile;
    FUZZ_CHECK(RunProgram(rt, commandLine) == 0);
    FUZZ_CHECK(rt.LevelCount == 0);
    FUZZ_CHECK(rt.ProcListArray.empty());
    std::vector<std::string> seen = recording.refused;
    for (const RecordingPlatform::Box& box : recording.boxes)
      seen.push_back(std::to_string(box.style) + ":" + box.text);
    if (run == 0)
      first = seen;
    else
      FUZZ_CHECK(seen == first);
  }
  return 0;
}
