// Placeholder: not built yet.
#include "commands/file_tree.h"

bool PathExists(Platform&, const char*) { return false; }
bool IsDirectory(Platform&, const char*) { return false; }
bool CreateDirectoryPath(Platform&, const StrBuf&) { return false; }
bool WalkTree(Platform&, const StrBuf&, WalkCallback, int, void*) { return false; }
bool CopyTree(Platform&, const StrBuf&, const StrBuf&) { return false; }
bool MoveTree(Platform&, const StrBuf&, const StrBuf&) { return false; }
bool DeleteTree(Platform&, const StrBuf&) { return false; }
bool SetAttributes(Platform&, const StrBuf&, uint32_t) { return false; }
