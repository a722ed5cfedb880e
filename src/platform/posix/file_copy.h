// Copies on POSIX, for the copy operation and for moves across file
// systems. Paths in the locale's encoding.
#pragma once

#include <sys/stat.h>

#include <string>

// Copies the regular file source (contents, permission bits, modification
// time) to destination, which is replaced only when the copy is whole and
// only where the replace rules allow it.
bool CopyRegularFile(const char* source, const std::string& destination);

// Makes at destination a link with the target of the link source (of lstat
// st); false when destination exists.
bool CopyLink(const char* source, const struct stat& st,
              const char* destination);

// Replaces destination by a copy of the link source, in one rename.
bool ReplaceWithLinkCopy(const char* source, const struct stat& st,
                         const std::string& destination);
