// The paths the updater would have when it reads a given settings file.
#pragma once

#include "base/str_buf.h"

// The settings path as the updater would know it: separators of the
// platform, made absolute against workingDirectory, "." and ".." components
// resolved.
StrBuf SettingsFilePath(const char* given, const char* workingDirectory,
                        const char* separator, const CodePage& cp);

// The program path the updater would have when it reads settingsPath with
// commandLine: beside the settings file, or, with a /i option naming it,
// in the folder the option is relative to. Start-up's SettingsPathFor of
// this path with commandLine gives settingsPath back.
StrBuf ProgramPathFor(const StrBuf& settingsPath, const StrBuf& commandLine,
                      const char* separator, const CodePage& cp);
