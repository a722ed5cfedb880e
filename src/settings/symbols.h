// The symbol table and the three expansion passes applied to every value.
#pragma once

#include <cstdint>

#include "base/str_buf.h"
#include "run/symbol_list.h"

struct Runtime;

// Longest value, in bytes, that expansion produces. A substitution that would
// make a value longer is not made: the pass stops there and the rest of the
// value stays as written.
constexpr int32_t kMaxExpandedLength = 32767;

// Reads the DEFINE section and the built-in symbols; false (message 3
// shown) when memory runs out.
bool LoadSymbols(Runtime& rt);
bool LookupSymbol(Runtime& rt, const char* name, StrBuf& out);
void DefineSymbol(Runtime& rt, const char* name, const StrBuf& value);
void ExpandDefinitions(Runtime& rt);

bool ExpandSymbols(Runtime& rt, StrBuf& text);
bool ExpandQueries(Runtime& rt, StrBuf& text);
bool CollapseDotDot(Runtime& rt, StrBuf& text);

bool GetSpecialFolderPath(Runtime& rt, StrBuf& out, int folder);
