// The text string's operations driven by the input: fields, words, trim,
// replace, format and the rest, with the reference operations on blocks,
// word ranges and character ranges, on texts and delimiters of the input,
// in UTF-8 and in Shift_JIS. Besides running clean under the sanitizers,
// the results must keep the properties that hold by definition.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "base/code_page.h"
#include "base/str_buf.h"
#include "fuzz_support.h"
#include "platform/posix/posix_platform.h"
#include "reference_text.h"

namespace {

// The message table; made before the first input, and given each input's
// code page.
PosixPlatform g_messages;

void FormatMessage(const CodePage& cp, StrBuf& out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  out.FormatList(cp, format, arguments);
  va_end(arguments);
}

// Character-aware search, independent of StrBuf: true when needle starts at
// a character boundary of text.
bool ContainsAtBoundary(const std::string& text, const std::string& needle,
                        const CodePage& cp) {
  if (needle.empty()) return false;
  for (size_t p = 0; p < text.size();
       p += static_cast<size_t>(cp.CharLength(text.c_str() + p))) {
    if (text.compare(p, needle.size(), needle) == 0) return true;
  }
  return false;
}

// Fields joined with the separator give the text back.
void CheckFields(const StrBuf& text, const std::string& sep,
                 const CodePage& cp) {
  if (sep.empty()) return;
  const int32_t n = text.FieldCount(sep.c_str(), cp);
  if (text.IsEmpty()) {
    FUZZ_CHECK(n == 0);
    return;
  }
  FUZZ_CHECK(n == 1 + text.CountOf(sep.c_str(), cp));
  std::string joined;
  for (int32_t i = 0; i < n; ++i) {
    if (i > 0) joined += sep;
    joined += text.Field(i, sep.c_str(), cp).Text();
  }
  FUZZ_CHECK(joined == text.Text());
  FUZZ_CHECK(std::string(text.Fields(0, -1, sep.c_str(), cp).Text()) ==
             text.Text());
  FUZZ_CHECK(text.Field(-1, sep.c_str(), cp)
                 .Equals(text.Field(n - 1, sep.c_str(), cp), cp));
  FUZZ_CHECK(text.Field(n, sep.c_str(), cp).IsEmpty());
}

void CheckWords(const StrBuf& text, const CodePage& cp) {
  const int32_t n = text.WordCount(cp);
  if (std::strchr(text.Text(), '"') == nullptr && !text.IsEmpty()) {
    // Without quotes every space separates.
    int32_t spaces = 0;
    for (const char* p = text.Text(); *p != 0; p += cp.CharLength(p))
      spaces += *p == ' ';
    FUZZ_CHECK(n == 1 + spaces);
    std::string joined;
    for (int32_t i = 0; i < n; ++i) {
      if (i > 0) joined += ' ';
      joined += text.Word(i, cp).Text();
    }
    FUZZ_CHECK(joined == text.Text());
  }
  for (int32_t i = -1; i <= n && i < 64; ++i) (void)text.Word(i, cp);
}

void CheckBlocks(const StrBuf& text, const std::string& open,
                 const std::string& close, const CodePage& cp) {
  if (open.empty() || close.empty()) return;
  const int32_t n =
      reference::BlockCount(text, open.c_str(), close.c_str(), cp);
  FUZZ_CHECK(n >= 0);
  for (int32_t i = 0; i < n && i < 64; ++i) {
    const std::string block =
        reference::Block(text, i, open.c_str(), close.c_str(), cp).Text();
    FUZZ_CHECK(block.compare(0, open.size(), open) == 0);
    FUZZ_CHECK(std::strstr(text.Text(), block.c_str()) != nullptr);
  }
  // An open one, if any.
  (void)reference::Block(text, n, open.c_str(), close.c_str(), cp);
}

void CheckTrim(const StrBuf& text, const std::string& leading,
               const std::string& trailing, const CodePage& cp) {
  StrBuf trimmed = text;
  trimmed.Trim(leading.c_str(), trailing.c_str(), cp);
  const std::string t = trimmed.Text();
  FUZZ_CHECK(t.size() <= static_cast<size_t>(text.Length()));
  if (!leading.empty() && t.size() >= leading.size())
    FUZZ_CHECK(!SameFolded(t.substr(0, leading.size()), leading, cp));
  if (!trailing.empty() && t.size() >= trailing.size())
    FUZZ_CHECK(!SameFolded(t.substr(t.size() - trailing.size()), trailing, cp));
}

void CheckReplaceAll(const StrBuf& text, const std::string& find,
                     const std::string& replacement, const CodePage& cp) {
  StrBuf result = text;
  const bool changed = result.ReplaceAll(find.c_str(), replacement.c_str(), cp);
  FUZZ_CHECK(changed == ContainsAtBoundary(text.Text(), find, cp));
  // A replacement that holds the search text replaces each occurrence of
  // the original once; one that does not leaves none behind, unless the
  // rule grows without end (then the length shows it).
  if (changed && !ContainsAtBoundary(replacement, find, cp) &&
      replacement.size() < find.size())
    FUZZ_CHECK(!ContainsAtBoundary(result.Text(), find, cp));
}

void CheckFormat(const char* argument, uint32_t id, const CodePage& cp) {
  StrBuf formatted;
  formatted.Format(cp, "[%s]", argument);
  const std::string full = std::string("[") + argument + "]";
  const std::string got = formatted.Text();
  FUZZ_CHECK(got.size() <= 1023);
  FUZZ_CHECK(full.compare(0, got.size(), got) == 0);
  if (got.size() < full.size()) {
    // Cut at a character boundary of the full text.
    size_t p = 0;
    while (p < got.size())
      p += static_cast<size_t>(cp.CharLength(full.c_str() + p));
    FUZZ_CHECK(p == got.size());
  }
  char format[256];
  if (g_messages.LoadResourceString(id, format, sizeof format) <= 0)
    format[0] = 0;
  StrBuf message;
  FormatMessage(cp, message, format, argument, argument);
  FUZZ_CHECK(message.Length() <= 1023);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const CodePage cp(in.ConsumeBool() ? kCodePageShiftJis : kCodePageUtf8);
  g_messages.SetCodePage(cp.Id());
  // Texts end at their first NUL, as every text of the engine does.
  auto take = [&in](size_t most) {
    return std::string(in.ConsumeRandomLengthString(most).c_str());
  };
  const std::string sep = take(4);
  const std::string open = take(3);
  const std::string close = take(3);
  const std::string other = take(64);
  const int32_t a = in.ConsumeIntegralInRange<int32_t>(-6, 12);
  const int32_t b = in.ConsumeIntegralInRange<int32_t>(-6, 12);
  const uint32_t id = in.ConsumeIntegralInRange<uint32_t>(0, 120);
  const std::string text = in.ConsumeRemainingBytesAsString();
  StrBuf s(text.c_str());

  CheckFields(s, sep, cp);
  CheckWords(s, cp);
  CheckBlocks(s, open, close, cp);
  CheckTrim(s, open, close, cp);
  CheckReplaceAll(s, sep, other, cp);
  CheckFormat(text.c_str(), id, cp);

  // The editing operations on indexes from the input, one after another.
  StrBuf edited = s;
  edited.ReplaceFields(a, b, sep.c_str(), other.c_str(), cp);
  reference::ReplaceWords(edited, a, b, other.c_str(), cp);
  reference::ReplaceBlocks(edited, a, b, open.c_str(), close.c_str(),
                           other.c_str(), cp);
  reference::ReplaceChars(edited, a, b, other.c_str());
  (void)reference::Words(edited, a, b, cp);
  (void)reference::Blocks(edited, a, b, open.c_str(), close.c_str(), cp);
  (void)reference::Substring(edited, a, b);
  (void)edited.Extract(a, b);
  (void)edited.ToInt();
  (void)edited.ToHex();
  (void)edited.Contains(other.c_str(), cp);
  (void)edited.StartsWith(sep.c_str(), cp);
  (void)edited.Equals(s, cp);
  edited.Append(other.c_str());
  edited.Trim(sep.c_str(), cp);
  FUZZ_CHECK(std::strlen(edited.Text()) ==
             static_cast<size_t>(edited.Length()));
  return 0;
}
