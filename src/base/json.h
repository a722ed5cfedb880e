// Texts as JSON strings, for the transcript and the checker's reports.
#pragma once

#include <string>

// text (UTF-8) as a quoted JSON string: '"' and '\' escaped, line feed,
// carriage return and tab as \n, \r and \t, the other control characters
// below 0x20 as \u00XX. DEL (0x7F), which JSON allows as it is, stays as it
// is. A byte that does not belong to well-formed UTF-8 becomes U+FFFD, so
// the result is always valid UTF-8.
std::string JsonString(const std::string& text);
