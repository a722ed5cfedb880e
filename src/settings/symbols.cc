// Placeholder: the expansion passes change nothing yet.
#include "settings/symbols.h"

bool LoadSymbols(Runtime&) { return true; }
bool LookupSymbol(Runtime&, const char*, StrBuf&) { return false; }
void DefineSymbol(Runtime&, const char*, const StrBuf&) {}
void ExpandDefinitions(Runtime&) {}
bool ExpandSymbols(Runtime&, StrBuf&) { return false; }
bool ExpandQueries(Runtime&, StrBuf&) { return false; }
bool CollapseDotDot(Runtime&, StrBuf&) { return false; }
bool GetSpecialFolderPath(Runtime&, StrBuf&, int) { return false; }
