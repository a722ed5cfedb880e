// The symbol table and the three expansion passes applied to every value.
#pragma once

#include <vector>

#include "base/str_buf.h"

struct Runtime;

// One entry of the symbol table. Kept as separate name and value so that no
// value can ever change the table's structure.
struct Symbol {
  StrBuf name;
  StrBuf value;
};
using SymbolList = std::vector<Symbol>;

bool LoadSymbols(Runtime& rt);
bool LookupSymbol(Runtime& rt, const char* name, StrBuf& out);
void DefineSymbol(Runtime& rt, const char* name, const StrBuf& value);
void ExpandDefinitions(Runtime& rt);

bool ExpandSymbols(Runtime& rt, StrBuf& text);
bool ExpandQueries(Runtime& rt, StrBuf& text);
bool CollapseDotDot(Runtime& rt, StrBuf& text);

bool GetSpecialFolderPath(Runtime& rt, StrBuf& out, int folder);
