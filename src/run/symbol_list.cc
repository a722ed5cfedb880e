#include "run/symbol_list.h"

#include "base/code_page.h"

int32_t SymbolList::Find(const char* name, const CodePage& cp) const {
  const auto it = first_.find(cp.FoldAsciiCase(name));
  return it == first_.end() ? -1 : it->second;
}

void SymbolList::Add(const char* name, const StrBuf& value,
                     const CodePage& cp) {
  first_.emplace(cp.FoldAsciiCase(name), Size());
  entries_.push_back(Symbol{StrBuf(name), value});
}

void SymbolList::Clear() {
  entries_.clear();
  first_.clear();
}
