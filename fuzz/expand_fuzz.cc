// Value expansion with a fixed symbol table, registry and folders: the three
// passes (symbols, queries, ".." components) on a fuzzed value and command
// line must give exactly what the plain algorithm gives when it is written
// with the text string's own block, field and word operations, one block
// at a time from the start of the value, as the settings reader describes
// them; and every registry key opened must be closed again.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "base/code_page.h"
#include "core/runtime.h"
#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"
#include "settings/app_path.h"
#include "settings/symbols.h"

namespace {

constexpr const char* kQ = "\\";  // the query separator on every platform

bool TooLong(const StrBuf& text, const StrBuf& block, const StrBuf& value) {
  return static_cast<int64_t>(text.Length()) - block.Length() +
             value.Length() >
         kMaxExpandedLength;
}

bool ReferenceSymbols(Runtime& rt, StrBuf& text) {
  const int32_t n = text.BlockCount("<", ">");
  bool changed = false;
  int32_t i = 0;
  StrBuf value;
  for (int32_t r = 0; r < n; ++r) {
    const StrBuf block = text.Block(i, "<", ">");
    if (!LookupSymbol(rt, block.Text(), value)) {
      ++i;
      continue;
    }
    if (TooLong(text, block, value)) break;
    text.ReplaceBlock(i, "<", ">", value.Text());
    changed = true;
  }
  return changed;
}

bool ReferenceAnswer(Runtime& rt, StrBuf& q) {
  const char* sep = rt.Sep();
  q.Trim("{", "}");
  const StrBuf keyword = q.Field(0, kQ);
  if (keyword.Equals("?App"))
    return FindAppPath(rt.platform, q.Field(1, kQ), q,
                       AppPathValue::kExecutable);
  if (keyword.Equals("?AppPath")) {
    if (!FindAppPath(rt.platform, q.Field(1, kQ), q, AppPathValue::kPathList))
      return false;
    q.Trim("", sep);
    q.Trim("", ";");
    return true;
  }
  if (keyword.Equals("?SpFolder")) {
    if (!GetSpecialFolderPath(rt, q, static_cast<int>(q.Field(1, kQ).ToHex())))
      return false;
    q.Trim("", sep);
    return true;
  }
  if (keyword.Equals("?Param")) {
    if (q.FieldCount(kQ) != 3) {
      q = rt.CommandLine.Word(q.Field(1, kQ).ToInt());
      return true;
    }
    const int32_t count = rt.CommandLine.WordCount();
    int64_t first = q.Field(1, kQ).ToInt();
    int64_t last = q.Field(2, kQ).ToInt();
    if (first < 0) first += count;
    if (last < 0) last += count;
    std::string words;  // grown in place: StrBuf appends copy the text
    for (int64_t d = first; d <= last; ++d) {
      if (d != first) words += ", ";
      if (d >= INT32_MIN && d <= INT32_MAX)
        words += rt.CommandLine.Word(static_cast<int32_t>(d)).Text();
      if (words.size() > static_cast<size_t>(kMaxExpandedLength)) break;
    }
    q.Assign(words.c_str());
    return true;
  }
  return false;
}

bool ReferenceQueries(Runtime& rt, StrBuf& text) {
  const int32_t n = text.BlockCount("{", "}");
  bool changed = false;
  int32_t i = 0;
  for (int32_t r = 0; r < n; ++r) {
    const StrBuf block = text.Block(i, "{", "}");
    StrBuf q = block;
    if (!ReferenceAnswer(rt, q)) {
      ++i;
      continue;
    }
    if (TooLong(text, block, q)) break;
    text.ReplaceBlock(i, "{", "}", q.Text());
    changed = true;
  }
  return changed;
}

bool ReferenceDotDot(Runtime& rt, StrBuf& text) {
  const char* sep = rt.Sep();
  if (text.CountOf((std::string(sep) + "..").c_str()) == 0) return false;
  const int32_t n = text.FieldCount(sep) - 2;
  bool changed = false;
  int32_t a = 0, b = 2;
  for (int32_t r = 0; r < n && a >= 0; ++r) {
    if (text.Field(b, sep).Equals("..")) {
      text.ReplaceFields(a, b, sep, text.Field(a, sep).Text());
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

const char* const kAppKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

void SetUp(FakePlatform& platform, Runtime& rt, bool windows) {
  platform.separator = windows ? "\\" : "/";
  platform.failFolders = true;
  platform.folders[0x19] = windows ? "C:\\Users\\Public\\Desktop\\" : "/desk/";
  platform.folders[0x1a] = windows ? "C:\\Data\\\\" : "/data//";
  platform.registry[std::string(kAppKey) + "app.exe|"] =
      windows ? "C:\\Tools\\app.exe" : "/tools/app";
  platform.registry[std::string(kAppKey) + "app.exe|PATH"] =
      windows ? "C:\\Tools\\;D:\\Lib\\;;" : "/tools/;/lib/;";
  platform.registry[std::string(kAppKey) + "odd.exe|"] = "<Dir>{?Param\\0}";
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
  SetAnsiCodePage(in.ConsumeBool() ? kCodePageShiftJis : kCodePageUtf8);
  const bool windows = in.ConsumeBool();
  const std::string commandLine = in.ConsumeRandomLengthString(96).c_str();
  const std::string value = in.ConsumeRemainingBytesAsString().c_str();

  FakePlatform platform;
  Runtime rt(platform);
  SetUp(platform, rt, windows);
  rt.CommandLine.Assign(commandLine.c_str());

  StrBuf got(value.c_str());
  StrBuf want(value.c_str());
  FUZZ_CHECK(ExpandSymbols(rt, got) == ReferenceSymbols(rt, want));
  FUZZ_CHECK(std::string(got.Text()) == want.Text());
  FUZZ_CHECK(ExpandQueries(rt, got) == ReferenceQueries(rt, want));
  FUZZ_CHECK(std::string(got.Text()) == want.Text());
  FUZZ_CHECK(CollapseDotDot(rt, got) == ReferenceDotDot(rt, want));
  FUZZ_CHECK(std::string(got.Text()) == want.Text());
  FUZZ_CHECK(got.Length() <= kMaxExpandedLength);
  FUZZ_CHECK(platform.openKeys == 0);
  return 0;
}
