// The rules for replacing a file, shared by both builds and by what stands
// in front of the file system (the run's journal): what may stand at the
// destination of a copy or a move that replaces it. Pure logic over one
// look at the destination.
#pragma once

#include <cstdint>

// What stands at a destination, as one look at it shows.
struct ReplaceTarget {
  bool exists = false;
  bool directory = false;  // a directory, or a link to one
  bool readOnly = false;   // read-only (POSIX: no write bit at all)
  bool hidden = false;     // hidden (never on POSIX)
  bool sameFile = false;   // the source itself, under another name
};

enum class ReplaceVerdict {
  kFree,       // nothing there: the name is free
  kReplace,    // a file, or a link to one, that the source may replace
  kDirectory,  // refused: a file never replaces a directory
  kReadOnly,   // refused: Windows never overwrites a read-only or hidden
               // file, whoever asks
  kSameFile,   // refused: the copy or move would destroy its own source
};

// The destination as its attributes (kAttr*, kInvalidAttributes when
// nothing is there) describe it; sameFile as the caller found it.
ReplaceTarget ReplaceTargetOf(uint32_t attributes, bool sameFile);

ReplaceVerdict JudgeReplace(const ReplaceTarget& target);

inline bool Refused(ReplaceVerdict verdict) {
  return verdict != ReplaceVerdict::kFree &&
         verdict != ReplaceVerdict::kReplace;
}
