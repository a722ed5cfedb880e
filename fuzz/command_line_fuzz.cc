// The command line: the caption and settings-file options, start-up with
// them, the words that {?Param} queries take from it, and the splitting of
// a program's command line into arguments. The program's path is a fixed
// one where no settings file exists, so start-up ends at message 1.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "base/code_page.h"
#include "core/startup.h"
#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/processes.h"
#include "run/levels.h"
#include "run/runtime.h"
#include "settings/symbols.h"

namespace {

// True when word holds a blank outside double quotes, which an option's
// value can only hold when it was written in quotes that were dropped.
bool HasUnquotedSpace(const std::string& word, const CodePage& cp) {
  bool quoted = false;
  for (const char* p = word.c_str(); *p != 0; p += cp.CharLength(p)) {
    if (*p == '"') quoted = !quoted;
    if (*p == ' ' && !quoted) return true;
  }
  return false;
}

void CheckOption(const StrBuf& line, char letter, const CodePage& cp) {
  StrBuf value("untouched");
  const bool found = GetCommandLineOption(line, letter, value, cp);
  const std::string key = std::string("/") + letter;
  const std::string dash = std::string("-") + letter;
  if (!found) {
    FUZZ_CHECK(value.IsEmpty());
    FUZZ_CHECK(line.Field(1, key.c_str(), cp).IsEmpty() &&
               line.Field(1, dash.c_str(), cp).IsEmpty());
    return;
  }
  FUZZ_CHECK(line.Contains(key.c_str(), cp) || line.Contains(dash.c_str(), cp));
  const std::string v = value.Text();
  FUZZ_CHECK(std::strstr(line.Text(), v.c_str()) != nullptr);
  FUZZ_CHECK(!HasUnquotedSpace(v, cp) ||
             line.Contains(("\"" + v + "\"").c_str(), cp));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Relative paths that start-up may look at lie in a private directory.
  if (chdir(FuzzDirectory().c_str()) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const CodePage cp(in.ConsumeBool() ? kCodePageShiftJis : kCodePageUtf8);
  const bool windows = in.ConsumeBool();
  const std::string text = in.ConsumeRemainingBytesAsString().c_str();
  const StrBuf line(text.c_str());

  CheckOption(line, 't', cp);
  CheckOption(line, 'i', cp);

  FakePlatform platform;
  platform.SetCodePage(cp.Id());
  platform.separator = windows ? "\\" : "/";
  platform.modulePath = windows ? "Z:\\no\\such\\dir\\setup.exe"
                                : "/no/such/dir/updater";
  platform.failFolders = true;
  {
    Runtime rt(platform);
    FUZZ_CHECK(!Startup(rt, text.c_str()));
    FUZZ_CHECK(platform.boxes.size() == 1);  // message 1, nothing more
    FUZZ_CHECK(rt.LevelCount == 0);
    FreeAllLevels(rt);

    StrBuf words("{?Param\\0}|{?Param\\-1}|{?Param\\1\\-1}|{?Param\\-3\\2}");
    ExpandQueries(rt, words);
    FUZZ_CHECK(words.Length() <= kMaxExpandedLength);
  }

  const std::vector<std::string> args = SplitCommandLine(text.c_str(), cp);
  FUZZ_CHECK(!args.empty());
  for (const std::string& arg : args)
    FUZZ_CHECK(arg.find('\0') == std::string::npos);
  const std::string program = ProgramOfCommandLine(text.c_str(), cp);
  FUZZ_CHECK(program.size() <= text.size());
  return 0;
}
