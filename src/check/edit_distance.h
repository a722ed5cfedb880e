// How far apart two short names are, for "meant ...?" suggestions.
#pragma once

#include <cstddef>
#include <string>

#include "base/code_page.h"

// The edit distance of a and b, ASCII case ignored.
size_t Distance(const std::string& a, const std::string& b, const CodePage& cp);
