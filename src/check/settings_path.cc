#include "check/settings_path.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/startup.h"

StrBuf SettingsFilePath(const char* given, const char* workingDirectory,
                        const char* separator, const CodePage& cp) {
  const bool backslash = std::strcmp(separator, "\\") == 0;
  std::string path = given != nullptr ? given : "";
  std::string cwd = workingDirectory != nullptr ? workingDirectory : "";
  if (backslash) {
    // "/" is never a trail byte of a double-byte character.
    std::replace(path.begin(), path.end(), '/', '\\');
    std::replace(cwd.begin(), cwd.end(), '/', '\\');
  }
  const bool drive = backslash && path.size() >= 2 && path[1] == ':';
  if (!cwd.empty() && !drive) {
    if (path.compare(0, 1, separator) != 0)
      path = cwd + separator + path;
    else if (backslash && path.compare(0, 2, "\\\\") != 0 && cwd.size() >= 2 &&
             cwd[1] == ':')
      path = cwd.substr(0, 2) + path;  // the root of the current drive
  }

  const StrBuf whole(path.c_str());
  const int32_t n = whole.FieldCount(separator, cp);
  std::vector<std::string> kept;
  for (int32_t i = 0; i < n; ++i) {
    const std::string field = whole.Field(i, separator, cp).Text();
    const bool root =
        std::all_of(kept.begin(), kept.end(),
                    [](const std::string& f) { return f.empty(); });
    if (field == "." || (field.empty() && !root && i + 1 < n)) continue;
    if (field == ".." && kept.size() >= 2 && kept.back() != ".." &&
        !kept.back().empty()) {
      kept.pop_back();
      continue;
    }
    kept.push_back(field);
  }
  std::string out;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i > 0) out += separator;
    out += kept[i];
  }
  return StrBuf(out.c_str());
}

StrBuf ProgramPathFor(const StrBuf& settingsPath, const StrBuf& commandLine,
                      const char* separator, const CodePage& cp) {
  StrBuf folder = settingsPath.Fields(0, -2, separator, cp);
  StrBuf value;
  if (GetCommandLineOption(commandLine, 'i', value, cp) && !value.IsEmpty()) {
    std::string tail = value.Text();
    if (std::strcmp(separator, "\\") == 0)
      std::replace(tail.begin(), tail.end(), '/', '\\');
    tail = separator + tail;
    const int32_t length = settingsPath.Length();
    const int32_t tailLength = static_cast<int32_t>(tail.size());
    if (length > tailLength &&
        settingsPath.Extract(length - tailLength, length - 1)
            .Equals(tail.c_str(), cp))
      folder = settingsPath.Extract(0, length - tailLength - 1);
  }
  StrBuf name = settingsPath.Field(-1, separator, cp);
  if (name.Contains(".", cp)) name = name.Fields(0, -2, ".", cp);
  if (name.IsEmpty()) name.Assign("updater");
  if (std::strcmp(separator, "\\") == 0) name.Append(".exe");
  return folder.Concat(separator).Concat(name);
}
