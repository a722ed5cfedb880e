// The symbol table: DEFINE entries and the built-in folder symbols, in
// table order.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/str_buf.h"

// One entry of the symbol table. Kept as separate name and value so that no
// value can ever change the table's structure.
struct Symbol {
  StrBuf name;
  StrBuf value;
};

// The entries in table order, with an index of each name's first entry
// (names compared as Equals does: ASCII letters without regard to case).
class SymbolList {
 public:
  int32_t Size() const { return static_cast<int32_t>(entries_.size()); }
  Symbol& operator[](int32_t i) { return entries_[static_cast<size_t>(i)]; }
  const Symbol& operator[](int32_t i) const {
    return entries_[static_cast<size_t>(i)];
  }
  // Index of the first entry called name, or -1.
  int32_t Find(const char* name, const CodePage& cp) const;
  // Appends an entry; a later entry of a name already present is kept but
  // never found.
  void Add(const char* name, const StrBuf& value, const CodePage& cp);
  void Clear();

 private:
  std::vector<Symbol> entries_;
  std::unordered_map<std::string, int32_t> first_;
};
