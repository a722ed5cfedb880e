// Small text rules of the checker's findings: folding, trimming, quoting,
// numbers, and what is left of symbols and queries after expansion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/str_buf.h"

// ASCII case folded.
std::string Folded(const std::string& text, const CodePage& cp);
// Without leading and trailing blanks and tabs.
std::string TrimBlanks(const std::string& text);
std::string Quoted(const std::string& text);
std::string Number(long long n);
// A whole decimal number: an optional sign and digits, nothing else.
bool IsDecimal(const StrBuf& text);
// A whole hexadecimal number: an optional sign, an optional 0x, digits.
bool IsHex(const StrBuf& text);
// "0x" and eight hexadecimal digits.
std::string Hex8(uint32_t value);
// The runs from open to the next close, character by character, that are
// still in a value after its expansion; with query set, only those whose
// inside starts with "?".
std::vector<std::string> LeftBlocks(const StrBuf& value, char open, char close,
                                    bool query, const CodePage& cp);
// The items joined by ", ".
std::string Joined(const std::vector<std::string>& items);
// The identity of a procedure list: its names, trimmed, ASCII case folded.
std::string ListIdentity(const StrBuf& list, const CodePage& cp);
