#include "check/recording_platform.h"

#include <cstring>

RecordingPlatform::RecordingPlatform(const Platform& reader)
    : Platform(files_, programs_, boxes_, info_),
      files_(reader.files(), *this),
      programs_(reader.processes(), *this),
      boxes_(reader.ui(), *this),
      info_(reader.system(), *this) {}

int RecordingPlatform::Boxes::ShowBox(const char* text, const char*,
                                      unsigned style) {
  owner_.boxes.push_back(Box{text != nullptr ? text : "", style});
  if ((style & kMbTypeMask) != kMbYesNo) return kIdOk;
  return (style & kMbDefMask) == kMbDefButton2 ? kIdNo : kIdYes;
}

uint32_t RecordingPlatform::Info::GetModulePath(char* buffer, uint32_t size) {
  const std::string& modulePath = owner_.modulePath;
  if (modulePath.empty()) return inner_.GetModulePath(buffer, size);
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

bool RecordingPlatform::Files::SetFileAttrs(const char* path, uint32_t) {
  return owner_.Refuse("SetFileAttrs", path);
}

bool RecordingPlatform::Files::MakeDirectory(const char* path) {
  return owner_.Refuse("MakeDirectory", path);
}

bool RecordingPlatform::Files::RemoveDir(const char* path) {
  return owner_.Refuse("RemoveDir", path);
}

bool RecordingPlatform::Files::CopyFileOver(const char* source, const char*) {
  return owner_.Refuse("CopyFileOver", source);
}

bool RecordingPlatform::Files::MoveFileTo(const char* source, const char*) {
  return owner_.Refuse("MoveFileTo", source);
}

bool RecordingPlatform::Files::MoveFileOver(const char* source, const char*) {
  return owner_.Refuse("MoveFileOver", source);
}

bool RecordingPlatform::Files::DeleteOneFile(const char* path) {
  return owner_.Refuse("DeleteOneFile", path);
}

bool RecordingPlatform::Files::WriteShortcut(const char*, const char*,
                                             const char*, int,
                                             const char* linkFile) {
  return owner_.Refuse("WriteShortcut", linkFile);
}

std::unique_ptr<ProcessHandle> RecordingPlatform::Programs::StartProgram(
    const char* commandLine, const char*) {
  owner_.Refuse("StartProgram", commandLine);
  return nullptr;
}

std::unique_ptr<ProcessHandle> RecordingPlatform::Programs::OpenForWait(
    uint32_t) {
  owner_.Refuse("OpenForWait", "");
  return nullptr;
}
