// When the identity of a settings file (device, inode, size and times) may
// vouch for the contents read from it earlier (profile.cc).
#pragma once

#include <time.h>

#include <cstdint>

// Two clocks read just before a settings file's bytes are read, in
// nanoseconds.
struct ProfileClocks {
  int64_t wall = 0;    // the wall clock as it stamps files (coarse)
  int64_t steady = 0;  // a clock that never goes back
};

ProfileClocks ReadProfileClocks();

// Whether any change of a file made after its bytes were read at clocks
// must give it a change time other than changed; firstSeen is the steady
// clock when the same bytes were first read under that change time.
//
// So it is once the wall clock has passed the stamp by its tick: the kernel
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
bool ProfileStampTrusted(const timespec& changed, const ProfileClocks& clocks,
                         int64_t firstSeen);
