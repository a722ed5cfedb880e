#include "check/recording_platform.h"

#include <cstring>

int RecordingPlatform::ShowBox(const char* text, const char*,
                               unsigned style) {
  boxes.push_back(Box{text != nullptr ? text : "", style});
  if ((style & kMbTypeMask) != kMbYesNo) return kIdOk;
  return (style & kMbDefMask) == kMbDefButton2 ? kIdNo : kIdYes;
}

uint32_t RecordingPlatform::GetModulePath(char* buffer, uint32_t size) {
  if (modulePath.empty()) return reader_.GetModulePath(buffer, size);
  if (buffer == nullptr || size == 0)
    return static_cast<uint32_t>(modulePath.size());
  const size_t n = modulePath.size() < size ? modulePath.size() : size - 1;
  std::memcpy(buffer, modulePath.data(), n);
  buffer[n] = 0;
  return static_cast<uint32_t>(modulePath.size());
}

bool RecordingPlatform::Refuse(const char* operation, const char* path) {
  refused.push_back(std::string(operation) + ": " +
                    (path != nullptr ? path : ""));
  return false;
}

bool RecordingPlatform::SetFileAttrs(const char* path, uint32_t) {
  return Refuse("SetFileAttrs", path);
}

bool RecordingPlatform::MakeDirectory(const char* path) {
  return Refuse("MakeDirectory", path);
}

bool RecordingPlatform::RemoveDir(const char* path) {
  return Refuse("RemoveDir", path);
}

bool RecordingPlatform::CopyFileOver(const char* source, const char*) {
  return Refuse("CopyFileOver", source);
}

bool RecordingPlatform::MoveFileTo(const char* source, const char*) {
  return Refuse("MoveFileTo", source);
}

bool RecordingPlatform::MoveFileOver(const char* source, const char*) {
  return Refuse("MoveFileOver", source);
}

bool RecordingPlatform::DeleteOneFile(const char* path) {
  return Refuse("DeleteOneFile", path);
}

std::unique_ptr<ProcessHandle> RecordingPlatform::StartProgram(
    const char* commandLine, const char*) {
  Refuse("StartProgram", commandLine);
  return nullptr;
}

std::unique_ptr<ProcessHandle> RecordingPlatform::OpenForWait(uint32_t) {
  Refuse("OpenForWait", "");
  return nullptr;
}

bool RecordingPlatform::WriteShortcut(const char*, const char*, const char*,
                                      int, const char* linkFile) {
  return Refuse("WriteShortcut", linkFile);
}
