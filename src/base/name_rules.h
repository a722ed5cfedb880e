// Rules for file names that both builds share: the wildcard matcher of
// directory searches, and the names that Windows takes for devices. Pure
// logic over texts in the ANSI code page, character-aware (the second byte
// of a double-byte character is never taken for "*", "?", "." or a letter).
#pragma once

#include <string>

#include "base/code_page.h"

// True when name matches pattern: "*" any run of characters, "?" one
// character, the ASCII letters' case ignored; a pattern ending in ".*" also
// matches a name without that extension, so "*.*" matches every name. Only
// the name itself is matched (never another name the system keeps for it,
// such as a Windows short name).
bool WildcardMatch(const char* pattern, const char* name, const CodePage& cp);

// True when text holds "*" or "?" (in whole characters).
bool HasWildcard(const char* text, const CodePage& cp);

// True when name, one component of a path, is a name that Windows reads as
// a device wherever it stands: CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to
// LPT9, with or without an extension, the ASCII letters' case ignored,
// trailing dots and blanks not counted (so "nul.txt", "Com1 ", "aux.tar.gz"
// and "CON." all are); and CONIN$ and CONOUT$.
bool IsDeviceName(const char* name, const CodePage& cp);
// True on the systems that read such names as devices: those whose path
// separator is "\\" (Windows).
bool DeviceNamesApply(const char* separator);

// The first component of path (its parts separated by any byte of
// separators) that IsDeviceName, or the empty text when none is.
std::string DeviceComponent(const char* path, const char* separators,
                            const CodePage& cp);

// True when path has an empty component where a name belongs: two
// separators in a row after its first component or after its root. The
// root's own separators (a leading one; two for a network path or a
// "\\?\" prefix when leadingPair is true) and separators at the end do not
// count.
bool HasEmptyComponent(const char* path, const char* separators,
                       bool leadingPair, const CodePage& cp);
