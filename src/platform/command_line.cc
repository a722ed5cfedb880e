#include "platform/command_line.h"

std::string JoinCommandLine(const std::vector<std::string>& words) {
  std::string line;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) line += ' ';
    if (words[i].find_first_of(" \t") != std::string::npos)
      line += '"' + words[i] + '"';
    else
      line += words[i];
  }
  return line;
}
