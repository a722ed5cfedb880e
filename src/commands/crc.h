// CRC: checksums of files, compared or reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run/procedure.h"

struct Command;

struct CrcProcedure : Procedure {
  StrBuf FILE;
  StrBuf TYPE;
  StrBuf CRC;
};

Procedure* LoadCrc(Runtime& rt, const Command& row, const StrBuf& name);
bool ExecuteCrc(Runtime& rt, Procedure& record);

uint32_t Crc32(const void* data, uint32_t length);
// Continues a checksum: crc is the value returned for the bytes before.
uint32_t Crc32Update(uint32_t crc, const void* data, uint32_t length);
// The table-driven step over length bytes, on the running register (not
// complemented); Crc32Update uses it for what the processor's carry-less
// multiplication does not take. Exposed for tests.
uint32_t Crc32TableUpdate(uint32_t crc, const unsigned char* data,
                          size_t length);
// Checksum of a whole file, read in bounded memory; false when the file
// cannot be opened exclusively, is empty or cannot be read.
bool FileCrc32(Runtime& rt, const char* path, uint32_t& crc);
