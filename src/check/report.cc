#include "check/report.h"

#include <cstdio>

#include "base/json.h"

namespace {

std::string OneLine(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      if (!blank && !out.empty()) out += ' ';
      blank = true;
      continue;
    }
    out += c;
    blank = false;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

std::string FindingText(const std::string& file, const Finding& finding) {
  std::string line = file + ": [" + finding.section + "]";
  if (!finding.key.empty()) line += " " + finding.key;
  line += std::string(": ") + SeverityName(finding.severity) + ": " +
          finding.action;
  if (!finding.message.empty()) line += " | message: " + OneLine(finding.message);
  return line;
}

std::string FindingJson(const std::string& file, const std::string& caption,
                        const Finding& finding) {
  std::string line = "{\"file\":" + JsonString(file) +
                     ",\"section\":" + JsonString(finding.section) +
                     ",\"key\":" + JsonString(finding.key) +
                     ",\"severity\":" +
                     JsonString(SeverityName(finding.severity)) +
                     ",\"kind\":" + JsonString(finding.kind) +
                     ",\"action\":" + JsonString(finding.action);
  if (finding.severity == Severity::kError)
    line += ",\"message\":" + JsonString(finding.message) +
            ",\"caption\":" + JsonString(caption);
  return line + "}";
}

std::string SummaryText(const std::string& file, const Checker& checker) {
  return file + ": " + Plural(checker.Count(Severity::kError), "error") +
         ", " + Plural(checker.Count(Severity::kWarning), "warning") + ", " +
         Plural(checker.Count(Severity::kNote), "note");
}
