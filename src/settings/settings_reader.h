// Reading keys and sections of the settings file.
#pragma once

#include <cstdint>

#include "base/str_buf.h"

class ProfileCache;
struct Runtime;

// The default value given to the profile reader: a key whose value is this
// text, in any case, counts as missing.
constexpr const char* kMissingKeyMarker = "NO_DATA";
// Work area of a value: at most kValueWorkArea - 2 bytes of a value arrive.
constexpr uint32_t kValueWorkArea = 260;
constexpr uint32_t kValueReadLimit = 259;
// Work area of a section.
constexpr uint32_t kSectionWorkArea = 32767;

// The run's settings file, read and kept parsed (profile_cache.h).
ProfileCache& SettingsFile(Runtime& rt);

// What a key read found. kNoMemory: no memory was left to hold the file or
// the value; the key may well be there.
enum class KeyRead { kPresent, kMissing, kNoMemory };

// Raw readers: they show nothing. out changes only when the key is
// present.
KeyRead ReadProfileString(ProfileCache& profiles, const char* file,
                          const char* section, const char* key, StrBuf& out);
KeyRead ReadProfileInt(ProfileCache& profiles, const char* file,
                       const char* section, const char* key, int32_t& out);
// The lines of section that are no comments, joined by "\n" into table
// (left as it was when there are none): their number, or kSectionNoMemory
// when memory runs out (table is then as it was).
constexpr int32_t kSectionNoMemory = -1;
int32_t ReadProfileSection(ProfileCache& profiles, const char* file,
                           const char* section, StrBuf& table);

// Reporting readers: they read from SettingsPath and show message 2 for a
// missing key, or message 3 naming object (the record or list the value is
// read for) when memory runs out. GetSettingString expands the value.
bool GetSettingString(Runtime& rt, const char* section, const char* key,
                      StrBuf& out, const char* object);
bool GetSettingInt(Runtime& rt, const char* section, const char* key,
                   int32_t& out, const char* object);
