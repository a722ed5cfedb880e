// Rules of the process's ANSI code page: which bytes begin a double-byte
// character. Every character-aware search in StrBuf asks CharLength.
#pragma once

#include <cstdint>

// Code pages with special rules. Every other value is treated as a
// single-byte code page.
constexpr unsigned kCodePageShiftJis = 932;
constexpr unsigned kCodePageUtf8 = 65001;

// Selects the rules; start-up sets it once from the platform, tests may set
// it at will. The default is UTF-8.
void SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();

// True when b starts a character of more than one byte.
bool IsLeadByte(unsigned char b);

// Number of bytes of the character that starts at p: 1 for a single-byte
// character and for the terminating NUL; never steps over a NUL.
int CharLength(const char* p);
