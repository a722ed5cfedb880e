// The settings file, read once and parsed once per run on every build, and
// read again when it changes.
//
// Each key read asks the platform whether the file still has the identity
// it had when it was parsed (FileSystem::ReadFileIfChanged: one look at the
// file). The identity vouches for the kept contents only once any later
// change of the file must give it another stamp (ProfileStampTrusted); until
// then (a change in the tick of the read, a stamp ahead of the clock), each
// request reads the bytes and compares them with the kept ones instead of
// parsing them again. A file dated 2099 or 1970 is trusted like any other:
// what counts is the stamp the system gives at a change.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "settings/profile_reader.h"

class ProfileCache {
 public:
  // Texts are compared and cut by the rules of cp, which must outlive the
  // cache.
  ProfileCache(Platform& platform, const CodePage& cp);
  ~ProfileCache();
  ProfileCache(const ProfileCache&) = delete;
  ProfileCache& operator=(const ProfileCache&) = delete;

  // The value of key in section of file (ANSI path), or def (null: "") when
  // the key or the file is missing, cut at a character boundary to size - 1
  // bytes; returns the bytes copied. A null section or key gives "".
  uint32_t ReadKey(const char* file, const char* section, const char* key,
                   const char* def, char* buffer, uint32_t size);
  // The section's non-blank lines as written, each NUL-terminated, the list
  // ended by a second NUL; returns the bytes copied without the final NUL.
  uint32_t ReadSectionLines(const char* file, const char* section,
                            char* buffer, uint32_t size);

  // For tests: how often a file was parsed, and how often its bytes were
  // read and compared with the kept ones instead.
  uint64_t Parses() const { return parses_; }
  // Whether the last ReadKey or ReadSectionLines found no memory to hold
  // the file: it then answered as for a missing file.
  bool OutOfMemory() const { return outOfMemory_; }
  uint64_t Comparisons() const { return comparisons_; }

 private:
  struct Parsed;
  // The parsed file at path, read again when it changed; null when it
  // cannot be read (outOfMemory_ tells whether memory ran out).
  const Parsed* Load(const char* path);
  // Load, throwing std::bad_alloc when memory runs out.
  const Parsed* LoadOrThrow(const char* path);

  Platform& platform_;
  const CodePage& codePage_;
  std::map<std::string, std::unique_ptr<Parsed>> kept_;
  uint64_t parses_ = 0;
  uint64_t comparisons_ = 0;
  bool outOfMemory_ = false;
};

// Whether any change of a file made after its bytes were read must give it
// a change stamp other than changed (ns since 1970): look holds the clocks
// read just before the bytes were; firstSeen is the steady clock when the
// same bytes were first read under that stamp.
//
// So it is once the wall clock has passed the stamp by its tick: the system
// stamps a change from that clock. A stamp of whole seconds may come from a
// file system that keeps only seconds (FAT: two), so it is passed two
// seconds later. A stamp that the wall clock has not passed (a change in the
// tick of the read, or a stamp ahead of the clock: a clock set back, another
// machine's clock) is trusted once the steady clock has moved on by more
// than the stamp's tick since firstSeen: every later change then falls into
// a later tick of whatever clock stamps it. (A clock set back after a stamp
// was trusted could give a later change the same stamp only by landing on
// the same nanosecond, or for whole seconds the same second: that is not
// guarded against.)
bool ProfileStampTrusted(int64_t changed, const FileLook& look,
                         int64_t firstSeen);
