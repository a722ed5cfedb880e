// Lookup of installed applications under the App Paths registry keys.
#pragma once

#include <cstdint>

#include "base/str_buf.h"

class Platform;

class RegKey {
 public:
  RegKey(Platform& platform, uintptr_t root, const char* subKey);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  virtual ~RegKey();

  bool Open(uint32_t access);
  uint32_t ValueSize(const char* valueName);
  bool QueryString(const char* valueName, StrBuf& out);
  void Close();
  bool ReadString(const char* valueName, StrBuf& out);

 private:
  Platform& platform_;
  uintptr_t root_;
  StrBuf subKey_;
  uintptr_t handle_ = 0;
};

enum class AppPathValue { kExecutable, kPathList };

bool FindAppPath(Platform& platform, const StrBuf& name, StrBuf& out,
                 AppPathValue what);
