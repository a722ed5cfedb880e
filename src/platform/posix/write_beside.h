// Write beside, then rename over: how every file that the POSIX platform
// writes for the engine (a copy, a shortcut) reaches its name, so that the
// name never holds a part of it and a failed write leaves the old file.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

// Writes the contents of a new, empty file open for writing at fd. It may
// be called a second time, for another file, when the first could not be
// given its name; it writes the whole contents each time.
using FillFile = std::function<bool(int fd)>;

// Puts a new file written by fill at destination, replacing what is there
// when replaces is set (the caller has applied the replace rules). The new
// file is made with mode (the umask applies). The contents go to a file
// without a name (O_TMPFILE) where the file system offers one, else to a
// file under a reserved name beside destination; it gets destination's
// name only when whole: by a link where the name is free, by a rename over
// the old file otherwise. A failure, or the end of the process, leaves no
// other entry; only a kill between the naming and the rename may leave a
// whole file under a reserved name, which the next write into that folder
// removes.
bool WriteBesideThenRename(const std::string& destination, bool replaces,
                           mode_t mode, const FillFile& fill);

// What PlaceBeside's make did with the reserved name it was given.
enum class Placed { kMade, kTaken, kFailed };

// Makes an entry under a free reserved name beside destination with
// make(name) (kTaken: the name is taken, another one is tried; kFailed: it
// failed and left nothing there), then renames it over destination; the
// entry is removed when the rename fails. With tidy, the reserved entries
// that killed runs left in the folder are removed first: a look through
// the whole folder, made only where an entry stays under its reserved name
// while it is written.
bool PlaceBeside(const std::string& destination, bool tidy,
                 const std::function<Placed(const std::string& name)>& make);
