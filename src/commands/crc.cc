// Placeholder: not built yet.
#include "commands/crc.h"

Procedure* LoadCrc(Runtime&, const StrBuf&) { return nullptr; }
bool ExecuteCrc(Runtime&, Procedure&) { return false; }
uint32_t Crc32(const void*, uint32_t) { return 0; }
uint32_t Crc32Update(uint32_t, const void*, uint32_t) { return 0; }
bool FileCrc32(Runtime&, const char*, uint32_t&) { return false; }
