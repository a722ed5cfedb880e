// Text operations that the updater does not use, kept as the reference
// implementations the fuzz targets and tests compare the engine with: the
// block family (outermost balanced open ... close runs, delimiters
// included), word ranges and their replacement, and character ranges.
// Indexes count from 0; a negative index counts from the end. Searches are
// character-aware, like StrBuf's.
#pragma once

#include <cstdint>

#include "base/str_buf.h"

namespace reference {

// Bytes first to last (clamped to the text; a range that ends before it
// starts inserts at first) replaced by with.
void ReplaceSpan(StrBuf& text, int32_t first, int32_t last, const char* with);
StrBuf Substring(const StrBuf& text, int32_t i);
StrBuf Substring(const StrBuf& text, int32_t first, int32_t last);
void ReplaceChars(StrBuf& text, int32_t i, const char* with);
void ReplaceChars(StrBuf& text, int32_t first, int32_t last, const char* with);

StrBuf Words(const StrBuf& text, int32_t first, int32_t last);
void ReplaceWord(StrBuf& text, int32_t n, const char* with);
void ReplaceWords(StrBuf& text, int32_t first, int32_t last,
                  const char* with);

int32_t BlockCount(const StrBuf& text, const char* open, const char* close);
bool FindBlocks(const StrBuf& text, int32_t first, int32_t last,
                const char* open, const char* close, int32_t& from,
                int32_t& to);
StrBuf Block(const StrBuf& text, int32_t n, const char* open,
             const char* close);
StrBuf Blocks(const StrBuf& text, int32_t first, int32_t last,
              const char* open, const char* close);
void ReplaceBlock(StrBuf& text, int32_t n, const char* open,
                  const char* close, const char* with);
void ReplaceBlocks(StrBuf& text, int32_t first, int32_t last,
                   const char* open, const char* close, const char* with);

}  // namespace reference
