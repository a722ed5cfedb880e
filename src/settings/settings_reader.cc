#include "settings/settings_reader.h"

#include <vector>

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

// Reads a key into a work area; false when it is missing.
bool ReadWorkArea(ProfileCache& profiles, const char* file,
                  const char* section, const char* key,
                  char (&work)[kValueWorkArea]) {
  work[0] = 0;
  profiles.ReadKey(file, section, key, kMissingKeyMarker, work,
                   kValueReadLimit);
  work[kValueWorkArea - 1] = 0;
  return !StrBuf(work).Equals(kMissingKeyMarker);
}

}  // namespace

ProfileCache& SettingsFile(Runtime& rt) {
  if (!rt.settingsFile) rt.settingsFile = std::make_shared<ProfileCache>(rt.platform);
  return *rt.settingsFile;
}

bool ReadProfileString(ProfileCache& profiles, const char* file,
                       const char* section, const char* key, StrBuf& out) {
  char work[kValueWorkArea];
  if (!ReadWorkArea(profiles, file, section, key, work)) return false;
  out.Assign(work);
  return true;
}

bool ReadProfileInt(ProfileCache& profiles, const char* file,
                    const char* section, const char* key, int32_t& out) {
  char work[kValueWorkArea];
  if (!ReadWorkArea(profiles, file, section, key, work)) return false;
  ParseDecimal(work, out);
  return true;
}

int32_t ReadProfileSection(ProfileCache& profiles, const char* file,
                           const char* section, StrBuf& table) {
  std::vector<char> work(kSectionWorkArea, 0);
  profiles.ReadSectionLines(file, section, work.data(), kSectionWorkArea);
  work[kSectionWorkArea - 2] = 0;
  work[kSectionWorkArea - 1] = 0;
  int32_t count = 0;
  StrBuf result = table;
  for (const char* line = work.data(); *line != 0;) {
    StrBuf text(line);
    line += text.Length() + 1;
    if (text.CharAt(0) == ';') continue;
    if (!result.IsEmpty()) result.Append("\n");
    result.Append(text);
    ++count;
  }
  if (count > 0) table.Assign(result);
  return count;
}

bool GetSettingString(Runtime& rt, const char* section, const char* key,
                      StrBuf& out) {
  if (!ReadProfileString(SettingsFile(rt), rt.SettingsPath.Text(), section, key,
                         out))
    return ShowKeyErrorReport(rt, kMsgBadFormat, section, key);
  ExpandSymbols(rt, out);
  ExpandQueries(rt, out);
  CollapseDotDot(rt, out);
  return true;
}

bool GetSettingInt(Runtime& rt, const char* section, const char* key,
                   int32_t& out) {
  if (!ReadProfileInt(SettingsFile(rt), rt.SettingsPath.Text(), section, key, out))
    return ShowKeyErrorReport(rt, kMsgBadFormat, section, key);
  return true;
}
