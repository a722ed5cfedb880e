// Value expansion with a fixed symbol table, registry and folders: the three
// passes (symbols, queries, ".." components) on a fuzzed value and command
// line must give exactly what the plain algorithm gives when it is written
// with the reference block operations and the text string's field and word
// operations, one block at a time from the start of the value, as the
// settings reader describes them. The queries are answered from the
// fixture's own tables of installed applications and folders, never
// through the engine's application and folder lookups.
#include <fuzzer/FuzzedDataProvider.h>

#include <map>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "fuzz_support.h"
#include "reference_text.h"
#include "platform/fake/fake_platform.h"
#include "run/runtime.h"
#include "settings/symbols.h"

namespace {

constexpr const char* kQ = "\\";  // the query separator on every platform

bool TooLong(const StrBuf& text, const StrBuf& block, const StrBuf& value) {
  return static_cast<int64_t>(text.Length()) - block.Length() +
             value.Length() >
         kMaxExpandedLength;
}

bool ReferenceSymbols(Runtime& rt, StrBuf& text) {
  const int32_t n = reference::BlockCount(text, "<", ">", rt.codePage);
  bool changed = false;
  int32_t i = 0;
  StrBuf value;
  for (int32_t r = 0; r < n; ++r) {
    const StrBuf block = reference::Block(text, i, "<", ">", rt.codePage);
    if (!LookupSymbol(rt, block.Text(), value)) {
      ++i;
      continue;
    }
    if (TooLong(text, block, value)) break;
    reference::ReplaceBlock(text, i, "<", ">", value.Text(), rt.codePage);
    changed = true;
  }
  return changed;
}

// The fixed App Paths entries and special folders, for one platform: they
// fill the fake registry and folders, and the reference answers from them
// directly, without the registry keys and folder lookup of the engine.
struct AppEntry {
  const char* name;  // the key under App Paths
  const char* executable;
  const char* paths;  // nullptr: no PATH value
};

struct Fixture {
  AppEntry apps[2];
  std::map<int, std::string> folders;
};

Fixture MakeFixture(bool windows) {
  Fixture f{{{"app.exe", windows ? "C:\\Tools\\app.exe" : "/tools/app",
              windows ? "C:\\Tools\\;D:\\Lib\\;;" : "/tools/;/lib/;"},
             {"odd.exe", "<Dir>{?Param\\0}", nullptr}},
            {}};
  f.folders[0x19] = windows ? "C:\\Users\\Public\\Desktop\\" : "/desk/";
  f.folders[0x1a] = windows ? "C:\\Data\\\\" : "/data//";
  return f;
}

// Removes every trailing copy of one byte.
std::string DropTrailing(std::string text, char byte) {
  while (!text.empty() && text.back() == byte) text.pop_back();
  return text;
}

// The word of the command line at index, counted from the end when
// negative; empty beyond either end.
std::string ParamWord(const std::vector<std::string>& words, int64_t index) {
  const int64_t count = static_cast<int64_t>(words.size());
  if (index < 0) index += count;
  return index >= 0 && index < count ? words[static_cast<size_t>(index)] : "";
}

// What a query block must give: {?App\name}, {?AppPath\name} (the PATH
// value without its trailing separators and semicolons), {?SpFolder\hex}
// (without trailing separators), {?Param\n} and {?Param\first\last} (the
// words joined by ", ", capped like every expanded value). Keywords and
// names in any case; false when the block stays.
bool ReferenceAnswer(const Fixture& fixture, Runtime& rt, bool windows,
                     StrBuf& q) {
  const char sep = windows ? '\\' : '/';
  std::string inner = q.Text();
  size_t open = 0;
  while (open < inner.size() && inner[open] == '{') ++open;
  inner = inner.substr(open);
  inner = DropTrailing(inner, '}');
  const StrBuf query(inner.c_str());
  const std::string keyword = query.Field(0, kQ, rt.codePage).Text();
  const std::string argument = query.Field(1, kQ, rt.codePage).Text();

  if (SameFolded(keyword, "?App", rt.codePage) ||
      SameFolded(keyword, "?AppPath", rt.codePage)) {
    const bool paths = SameFolded(keyword, "?AppPath", rt.codePage);
    for (const AppEntry& app : fixture.apps) {
      if (!SameFolded(argument, app.name, rt.codePage)) continue;
      if (!paths) {
        q.Assign(app.executable);
        return true;
      }
      if (app.paths == nullptr) return false;
      q.Assign(DropTrailing(DropTrailing(app.paths, sep), ';').c_str());
      return true;
    }
    return false;
  }
  if (SameFolded(keyword, "?SpFolder", rt.codePage)) {
    const auto it = fixture.folders.find(
        static_cast<int>(query.Field(1, kQ, rt.codePage).ToHex()));
    if (it == fixture.folders.end()) return false;
    q.Assign(DropTrailing(it->second, sep).c_str());
    return true;
  }
  if (!SameFolded(keyword, "?Param", rt.codePage)) return false;

  std::vector<std::string> words;
  const int32_t count = rt.CommandLine.WordCount(rt.codePage);
  for (int32_t k = 0; k < count; ++k)
    words.push_back(rt.CommandLine.Word(k, rt.codePage).Text());
  if (query.FieldCount(kQ, rt.codePage) != 3) {
    q.Assign(ParamWord(words, query.Field(1, kQ, rt.codePage).ToInt()).c_str());
    return true;
  }
  int64_t first = query.Field(1, kQ, rt.codePage).ToInt();
  int64_t last = query.Field(2, kQ, rt.codePage).ToInt();
  if (first < 0) first += count;
  if (last < 0) last += count;
  std::string joined;
  for (int64_t d = first; d <= last; ++d) {
    if (d != first) joined += ", ";
    joined += ParamWord(words, d);
    if (joined.size() > static_cast<size_t>(kMaxExpandedLength)) break;
  }
  q.Assign(joined.c_str());
  return true;
}

bool ReferenceQueries(const Fixture& fixture, Runtime& rt, bool windows,
                      StrBuf& text) {
  const int32_t n = reference::BlockCount(text, "{", "}", rt.codePage);
  bool changed = false;
  int32_t i = 0;
  for (int32_t r = 0; r < n; ++r) {
    const StrBuf block = reference::Block(text, i, "{", "}", rt.codePage);
    StrBuf q = block;
    if (!ReferenceAnswer(fixture, rt, windows, q)) {
      ++i;
      continue;
    }
    if (TooLong(text, block, q)) break;
    reference::ReplaceBlock(text, i, "{", "}", q.Text(), rt.codePage);
    changed = true;
  }
  return changed;
}

bool ReferenceDotDot(Runtime& rt, StrBuf& text) {
  const char* sep = rt.Sep();
  if (text.CountOf((std::string(sep) + "..").c_str(), rt.codePage) == 0)
    return false;
  const int32_t n = text.FieldCount(sep, rt.codePage) - 2;
  bool changed = false;
  int32_t a = 0, b = 2;
  for (int32_t r = 0; r < n && a >= 0; ++r) {
    if (text.Field(b, sep, rt.codePage).Equals("..", rt.codePage)) {
      text.ReplaceFields(a, b, sep, text.Field(a, sep, rt.codePage).Text(),
                         rt.codePage);
      --a;
      --b;
      changed = true;
    } else {
      ++a;
      ++b;
    }
  }
  return changed;
}

void SetUp(const Fixture& fixture, FakePlatform& platform, Runtime& rt,
           bool windows) {
  platform.separator = windows ? "\\" : "/";
  platform.failFolders = true;
  platform.folders = fixture.folders;
  for (const AppEntry& app : fixture.apps) {
    platform.appPaths[app.name] = {app.executable,
                                   app.paths != nullptr ? app.paths : ""};
  }
  const char* sep = platform.separator;
  auto define = [&](const char* name, const std::string& value) {
    DefineSymbol(rt, name, StrBuf(value.c_str()));
  };
  define("<Win>", windows ? "C:\\WINDOWS" : "/etc");
  define("<Src>", std::string(windows ? "D:" : "") + sep + "pkg");
  define("<Dir>", std::string("D:") + sep + "A" + sep + "B");
  define("<Up>", std::string("..") + sep + "..");
  define("<A>", "x<B>y");
  define("<B>", "<A>");
  define("<Q>", "{?Param\\1}{?App\\app.exe}");
  define("<Empty>", "");
  define("<Long>", std::string(3000, 'L'));
  define("<Wide>", "<Long><Long><Long><Long><Long><Long>");
  define("<Kanji>", "\xE6\xBC\xA2\x95\x5C");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const CodePage cp(in.ConsumeBool() ? kCodePageShiftJis : kCodePageUtf8);
  const bool windows = in.ConsumeBool();
  const std::string commandLine = in.ConsumeRandomLengthString(96).c_str();
  const std::string value = in.ConsumeRemainingBytesAsString().c_str();

  FakePlatform platform;
  platform.SetCodePage(cp.Id());
  Runtime rt(platform);
  const Fixture fixture = MakeFixture(windows);
  SetUp(fixture, platform, rt, windows);
  rt.CommandLine.Assign(commandLine.c_str());

  StrBuf got(value.c_str());
  StrBuf want(value.c_str());
  FUZZ_CHECK(ExpandSymbols(rt, got) == ReferenceSymbols(rt, want));
  FUZZ_CHECK(std::string(got.Text()) == want.Text());
  FUZZ_CHECK(ExpandQueries(rt, got) ==
             ReferenceQueries(fixture, rt, windows, want));
  FUZZ_CHECK(std::string(got.Text()) == want.Text());
  FUZZ_CHECK(CollapseDotDot(rt, got) == ReferenceDotDot(rt, want));
  FUZZ_CHECK(std::string(got.Text()) == want.Text());
  FUZZ_CHECK(got.Length() <= kMaxExpandedLength);
  return 0;
}
