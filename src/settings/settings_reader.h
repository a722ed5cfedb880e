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

// Raw readers: they show nothing.
bool ReadProfileString(ProfileCache& profiles, const char* file,
                       const char* section, const char* key, StrBuf& out);
bool ReadProfileInt(ProfileCache& profiles, const char* file,
                    const char* section, const char* key, int32_t& out);
int32_t ReadProfileSection(ProfileCache& profiles, const char* file,
                           const char* section, StrBuf& table);

// Reporting readers: they read from SettingsPath and show message 2 for a
// missing key. GetSettingString expands the value.
bool GetSettingString(Runtime& rt, const char* section, const char* key,
                      StrBuf& out);
bool GetSettingInt(Runtime& rt, const char* section, const char* key,
                   int32_t& out);
