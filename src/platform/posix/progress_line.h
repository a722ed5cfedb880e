// The progress display of the POSIX build: one line on a terminal, redrawn
// in place ("\r", the rest of the line erased), cut to the terminal's width.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

// The longest head of text that takes at most columns columns on a
// terminal. utf8: the text is UTF-8, where characters of three and four
// bytes (the East Asian ones among them) take two columns; otherwise it is
// in a double-byte code page (932), where each byte takes one column. A
// character is never cut.
std::string CutToColumns(const std::string& text, size_t columns, bool utf8);

// A line drawn on the terminal fd, titled caption (in the terminal's own
// encoding, as are the procedure names given to toLocal). The line is
// erased by Clear and by the destructor.
using ToLocalText = std::function<std::string(const char* ansi)>;
std::unique_ptr<ProgressView> OpenTerminalLine(int fd,
                                               const std::string& caption,
                                               bool utf8, ToLocalText toLocal);
