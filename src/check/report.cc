#include "check/report.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence at text[i], or 0 when it is none.
size_t Utf8Length(const std::string& text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  size_t n = 0;
  unsigned minimum = 0;
  unsigned value = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, minimum = 0x80, value = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, minimum = 0x800, value = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, minimum = 0x10000, value = c & 0x07u;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    value = (value << 6) | (t & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  return n;
}

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

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

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
