// The sections of a settings file as the profile reader sees them.
#pragma once

#include <string>
#include <vector>

class Platform;
class ProfileCache;

// A section header line of the file.
struct HeaderLine {
  std::string name;  // as written, blanks trimmed
  int line = 0;
};

// The section headers of file, found as the profile reader finds them: a
// line that, without its blanks, starts with "[" and holds a later "]";
// the name is what lies between the "[" and the last "]", without blanks.
// False when the file cannot be read whole.
bool ScanSectionHeaders(Platform& platform, const char* file,
                        std::vector<HeaderLine>& headers);

// The lines of a section as the profile reader hands them over, comment
// lines included.
std::vector<std::string> SectionLines(ProfileCache& profiles,
                                      const char* file, const char* section);
