// CRC: checksums of files, compared or reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/crc32.h"
#include "run/procedure.h"

struct CrcProcedure : Procedure {
  StrBuf FILE;
  StrBuf TYPE;
  StrBuf CRC;
};

bool ExecuteCrc(Runtime& rt, Procedure& record);

// Checksum of a whole file, read in bounded memory; false when the file
// cannot be opened exclusively, is empty or cannot be read.
bool FileCrc32(Runtime& rt, const char* path, uint32_t& crc);
