// System information that passes every question on to another; what
// answers one of them otherwise derives from it and overrides that one.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system_info.h"

class SystemInfoForwarder : public SystemInfo {
 public:
  explicit SystemInfoForwarder(SystemInfo& inner) : inner_(inner) {}
  SystemInfoForwarder(const SystemInfoForwarder&) = delete;
  SystemInfoForwarder& operator=(const SystemInfoForwarder&) = delete;

  std::string AnsiToUtf8(const char* text) const override {
    return inner_.AnsiToUtf8(text);
  }
  std::string Utf8ToAnsi(const char* text) const override {
    return inner_.Utf8ToAnsi(text);
  }
  unsigned AnsiCodePage() const override { return inner_.AnsiCodePage(); }
  int64_t SteadyClock() const override { return inner_.SteadyClock(); }
  int64_t WallClock() const override { return inner_.WallClock(); }
  bool GetEnv(const char* name, std::string& value) const override {
    return inner_.GetEnv(name, value);
  }
  bool CurrentDirectory(StrBuf& out) override {
    return inner_.CurrentDirectory(out);
  }
  uint32_t GetModulePath(char* buffer, uint32_t size) override {
    return inner_.GetModulePath(buffer, size);
  }
  bool WindowsDirectory(StrBuf& out) override {
    return inner_.WindowsDirectory(out);
  }
  bool SystemDirectory(StrBuf& out) override {
    return inner_.SystemDirectory(out);
  }
  bool TempPath(StrBuf& out) override { return inner_.TempPath(out); }
  bool SpecialFolder(int csidl, StrBuf& out) override {
    return inner_.SpecialFolder(csidl, out);
  }
  bool FindAppPath(const char* name, AppPathValue what,
                   StrBuf& out) override {
    return inner_.FindAppPath(name, what, out);
  }
  bool IsNt() override { return inner_.IsNt(); }
  void ComInitialize() override { inner_.ComInitialize(); }
  void ComUninitialize() override { inner_.ComUninitialize(); }

 protected:
  SystemInfo& inner_;
};
