// The CRC-32 of ITU-T V.42, ZIP and PNG (reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t Crc32(const void* data, uint32_t length);
// Continues a checksum: crc is the value returned for the bytes before.
uint32_t Crc32Update(uint32_t crc, const void* data, uint32_t length);
// The table-driven step over length bytes, on the running register (not
// complemented); Crc32Update uses it for what the processor's carry-less
// multiplication does not take. Exposed for tests.
uint32_t Crc32TableUpdate(uint32_t crc, const unsigned char* data,
                          size_t length);
