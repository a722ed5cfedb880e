// UTF-8 read strictly: the one decoder of the texts the updater exchanges in
// UTF-8 (settings files, the transcript, reports, shortcut strings).
#pragma once

#include <cstddef>
#include <cstdint>

// The length of the well-formed UTF-8 sequence at p, of which n bytes are
// left, with its code point in code; 0 when p starts none: a byte that
// cannot begin a sequence, a sequence cut short or broken, an overlong form,
// a surrogate or a value above U+10FFFF. n must be at least 1.
size_t DecodeUtf8(const unsigned char* p, size_t n, uint32_t& code);

// True when size bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(const char* bytes, size_t size);
