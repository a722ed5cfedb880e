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

StrBuf Words(const StrBuf& text, int32_t first, int32_t last,
             const CodePage& cp);
void ReplaceWord(StrBuf& text, int32_t n, const char* with, const CodePage& cp);
void ReplaceWords(StrBuf& text, int32_t first, int32_t last, const char* with,
                  const CodePage& cp);

int32_t BlockCount(const StrBuf& text, const char* open, const char* close,
                   const CodePage& cp);
bool FindBlocks(const StrBuf& text, int32_t first, int32_t last,
                const char* open, const char* close, int32_t& from, int32_t& to,
                const CodePage& cp);
StrBuf Block(const StrBuf& text, int32_t n, const char* open, const char* close,
             const CodePage& cp);
StrBuf Blocks(const StrBuf& text, int32_t first, int32_t last, const char* open,
              const char* close, const CodePage& cp);
void ReplaceBlock(StrBuf& text, int32_t n, const char* open, const char* close,
                  const char* with, const CodePage& cp);
void ReplaceBlocks(StrBuf& text, int32_t first, int32_t last, const char* open,
                   const char* close, const char* with, const CodePage& cp);

}  // namespace reference
