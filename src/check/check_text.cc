#include "check/check_text.h"

#include <cstdio>

#include "base/code_page.h"
#include "run/procedure.h"

std::string Folded(const std::string& text, const CodePage& cp) {
  return cp.FoldAsciiCase(text);
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Number(long long n) { return std::to_string(n); }

bool IsDecimal(const StrBuf& text) {
  const char* p = text.Text();
  if (*p == '+' || *p == '-') ++p;
  if (*p < '0' || *p > '9') return false;
  while (*p >= '0' && *p <= '9') ++p;
  return *p == 0;
}

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

}  // namespace

bool IsHex(const StrBuf& text) {
  const char* p = text.Text();
  if (*p == '+' || *p == '-') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && IsHexDigit(p[2])) p += 2;
  if (!IsHexDigit(*p)) return false;
  while (IsHexDigit(*p)) ++p;
  return *p == 0;
}

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::vector<std::string> LeftBlocks(const StrBuf& value, char open, char close,
                                    bool query, const CodePage& cp) {
  std::vector<std::string> blocks;
  const std::string text = value.Text();
  size_t start = std::string::npos;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == open) {
      start = i;
    } else if (text[i] == close && start != std::string::npos) {
      std::string block = text.substr(start, i - start + 1);
      if (!query || (block.size() > 2 && block[1] == '?'))
        blocks.push_back(block);
      start = std::string::npos;
    }
    i += static_cast<size_t>(cp.CharLength(text.c_str() + i));
  }
  return blocks;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ", ";
    out += item;
  }
  return out;
}

std::string ListIdentity(const StrBuf& list, const CodePage& cp) {
  std::string identity;
  const int32_t n = list.FieldCount(",", cp);
  for (int32_t i = 0; i < n; ++i) {
    if (i > 0) identity += ",";
    identity += Folded(ListItem(list, i, cp).Text(), cp);
  }
  return identity;
}
