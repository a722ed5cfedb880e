#include "check/section_scan.h"

#include <memory>

#include "check/check_text.h"
#include "platform/platform.h"
#include "settings/profile_cache.h"
#include "settings/settings_reader.h"

namespace {

// A settings file larger than this is not read.
constexpr uint64_t kMaxSettingsSize = 64u << 20;

}  // namespace

bool ScanSectionHeaders(Platform& platform, const char* file,
                        std::vector<HeaderLine>& headers) {
  std::unique_ptr<ExclusiveFile> handle = platform.files().OpenExclusive(file);
  if (!handle || handle->Size() > kMaxSettingsSize) return false;
  std::string data;
  char chunk[8192];
  for (;;) {
    uint32_t got = 0;
    if (!handle->Read(chunk, sizeof chunk, got)) return false;
    if (got == 0) break;
    data.append(chunk, got);
    if (data.size() > kMaxSettingsSize) return false;
  }
  size_t at = data.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (int number = 1; at < data.size(); ++number) {
    size_t end = data.find_first_of("\r\n", at);
    if (end == std::string::npos) end = data.size();
    const std::string line = TrimBlanks(data.substr(at, end - at));
    at = end;
    if (at < data.size() && data[at] == '\r' && at + 1 < data.size() &&
        data[at + 1] == '\n')
      ++at;
    if (at < data.size()) ++at;
    const size_t close = line.rfind(']');
    if (line.empty() || line[0] != '[' || close == std::string::npos ||
        close == 0)
      continue;
    headers.push_back(
        HeaderLine{TrimBlanks(line.substr(1, close - 1)), number});
  }
  return true;
}

std::vector<std::string> SectionLines(ProfileCache& profiles,
                                      const char* file, const char* section) {
  std::vector<char> work(kSectionWorkArea, 0);
  profiles.ReadSectionLines(file, section, work.data(), kSectionWorkArea);
  work[kSectionWorkArea - 2] = 0;
  work[kSectionWorkArea - 1] = 0;
  std::vector<std::string> lines;
  for (const char* line = work.data(); *line != 0;) {
    lines.emplace_back(line);
    line += lines.back().size() + 1;
  }
  return lines;
}
