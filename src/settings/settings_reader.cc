#include "settings/settings_reader.h"

#include <cstring>
#include <vector>

#include "base/code_page.h"
#include "run/error_report.h"
#include "run/runtime.h"
#include "settings/profile_cache.h"
#include "settings/symbols.h"

namespace {

// Reads a decimal integer as the conversion "%d" does: leading white space,
// an optional sign, digits. False when no digit follows. Values beyond the
// 32-bit range wrap.
bool ParseDecimal(const char* text, int32_t& out) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  out = static_cast<int32_t>(value);
  return true;
}

// Whether text is the missing-key marker in any case of its letters. The
// marker is ASCII: a byte of a double-byte character never equals one of
// its bytes, so a byte-wise comparison is the character-wise one.
bool IsMissingKeyMarker(const char* text) {
  const char* marker = kMissingKeyMarker;
  for (; *marker != 0; ++text, ++marker)
    if (FoldAsciiLetter(*text) != FoldAsciiLetter(*marker)) return false;
  return *text == 0;
}

// Reads a key into a work area.
KeyRead ReadWorkArea(ProfileCache& profiles, const char* file,
                     const char* section, const char* key,
                     char (&work)[kValueWorkArea]) {
  work[0] = 0;
  profiles.ReadKey(file, section, key, kMissingKeyMarker, work,
                   kValueReadLimit);
  work[kValueWorkArea - 1] = 0;
  if (profiles.OutOfMemory()) return KeyRead::kNoMemory;
  return IsMissingKeyMarker(work) ? KeyRead::kMissing : KeyRead::kPresent;
}

// Shows the report for a key that could not be read: message 2 when it is
// missing, message 3 naming object when memory ran out. Returns false.
bool ShowKeyReadReport(Runtime& rt, KeyRead got, const char* section,
                       const char* key, const char* object) {
  if (got == KeyRead::kNoMemory)
    return ShowErrorReport(rt, kMsgOutOfMemory, object);
  return ShowKeyErrorReport(rt, kMsgBadFormat, section, key);
}

}  // namespace

ProfileCache& SettingsFile(Runtime& rt) {
  if (!rt.settingsFile)
    rt.settingsFile = std::make_shared<ProfileCache>(rt.platform, rt.codePage);
  return *rt.settingsFile;
}

KeyRead ReadProfileString(ProfileCache& profiles, const char* file,
                          const char* section, const char* key, StrBuf& out) {
  char work[kValueWorkArea];
  const KeyRead got = ReadWorkArea(profiles, file, section, key, work);
  if (got != KeyRead::kPresent) return got;
  return out.SetText(work) ? KeyRead::kPresent : KeyRead::kNoMemory;
}

KeyRead ReadProfileInt(ProfileCache& profiles, const char* file,
                       const char* section, const char* key, int32_t& out) {
  char work[kValueWorkArea];
  const KeyRead got = ReadWorkArea(profiles, file, section, key, work);
  // A value that is no number leaves out as it was.
  if (got == KeyRead::kPresent) static_cast<void>(ParseDecimal(work, out));
  return got;
}

int32_t ReadProfileSection(ProfileCache& profiles, const char* file,
                           const char* section, StrBuf& table) {
  std::vector<char> work(kSectionWorkArea, 0);
  profiles.ReadSectionLines(file, section, work.data(), kSectionWorkArea);
  work[kSectionWorkArea - 2] = 0;
  work[kSectionWorkArea - 1] = 0;
  if (profiles.OutOfMemory()) return kSectionNoMemory;
  int32_t count = 0;
  StrBuf result = table;
  for (const char* line = work.data(); *line != 0;) {
    const size_t length = std::strlen(line);
    const char* text = line;
    line += length + 1;
    if (text[0] == ';') continue;
    // A line that cannot be added is never dropped silently.
    if ((!result.IsEmpty() && !result.AppendText("\n")) ||
        !result.AppendText(text))
      return kSectionNoMemory;
    ++count;
  }
  if (count > 0 && !table.SetText(result.Text())) return kSectionNoMemory;
  return count;
}

bool GetSettingString(Runtime& rt, const char* section, const char* key,
                      StrBuf& out, const char* object) {
  const KeyRead got = ReadProfileString(
      SettingsFile(rt), rt.SettingsPath.Text(), section, key, out);
  if (got != KeyRead::kPresent)
    return ShowKeyReadReport(rt, got, section, key, object);
  ExpandSymbols(rt, out);
  ExpandQueries(rt, out);
  CollapseDotDot(rt, out);
  return true;
}

bool GetSettingInt(Runtime& rt, const char* section, const char* key,
                   int32_t& out, const char* object) {
  const KeyRead got = ReadProfileInt(SettingsFile(rt), rt.SettingsPath.Text(),
                                     section, key, out);
  if (got != KeyRead::kPresent)
    return ShowKeyReadReport(rt, got, section, key, object);
  return true;
}
