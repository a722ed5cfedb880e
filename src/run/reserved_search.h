// Directory searches that leave out the names a run reserves for itself
// (saved copies, files set aside for the restart), so that no walk copies,
// moves or deletes them as if they were the package's or the user's.
#pragma once

#include <memory>

#include "platform/platform.h"

// The search with every entry whose name begins with prefix left out; first
// is moved on past such names. Null when the search is null or holds only
// such names.
std::unique_ptr<DirSearch> LeaveOutReserved(std::unique_ptr<DirSearch> search,
                                            DirEntry& first,
                                            const char* prefix);
