#include "platform/fake/fake_platform.h"

#include <cstring>

#include "base/code_page.h"

int FakePlatform::ShowBox(const char* text, const char* caption,
                          unsigned style) {
  boxes.push_back({text, caption, style});
  if (boxes.size() <= boxAnswers.size()) return boxAnswers[boxes.size() - 1];
  return (style & kMbTypeMask) == kMbYesNo ? kIdYes : kIdOk;
}

namespace {

class RecordedProgress : public ProgressView {
 public:
  explicit RecordedProgress(std::vector<std::string>& calls) : calls_(calls) {}
  ~RecordedProgress() override { calls_.push_back("close"); }
  void Show(const char* procedure, const char* detail,
            uint32_t permille) override {
    calls_.push_back(std::string("show ") + procedure + " | " + detail +
                     " | " + std::to_string(permille));
  }
  void Clear() override { calls_.push_back("clear"); }

 private:
  std::vector<std::string>& calls_;
};

}  // namespace

std::unique_ptr<ProgressView> FakePlatform::OpenProgress(const char* caption) {
  progress.push_back(std::string("open ") + caption);
  return std::make_unique<RecordedProgress>(progress);
}

bool FakePlatform::FindAppPath(const char* name, AppPathValue what,
                               StrBuf& out) {
  appPathQueries.push_back(name);
  for (const auto& entry : appPaths) {
    if (codePage().FoldAsciiCase(entry.first) != codePage().FoldAsciiCase(name))
      continue;
    const std::string& value = what == AppPathValue::kExecutable
                                   ? entry.second.executable
                                   : entry.second.pathList;
    return !value.empty() && out.SetText(value.c_str());
  }
  return false;
}

uint32_t FakePlatform::FindProcessId(const char* name) {
  if (processes.empty()) return PosixPlatform::FindProcessId(name);
  for (const auto& entry : processes)
    if (codePage().FoldAsciiCase(entry.first) == codePage().FoldAsciiCase(name))
      return entry.second;
  return 0;
}

bool FakePlatform::SpecialFolder(int csidl, StrBuf& out) {
  auto it = folders.find(csidl);
  if (it != folders.end()) {
    out.Assign(it->second.c_str());
    return true;
  }
  if (failFolders) return false;
  return PosixPlatform::SpecialFolder(csidl, out);
}

uint32_t FakePlatform::GetModulePath(char* buffer, uint32_t size) {
  if (modulePath.empty()) return PosixPlatform::GetModulePath(buffer, size);
  if (size == 0) return static_cast<uint32_t>(modulePath.size());
  size_t n = modulePath.size() < size - 1 ? modulePath.size() : size - 1;
  std::memcpy(buffer, modulePath.data(), n);
  buffer[n] = 0;
  return static_cast<uint32_t>(modulePath.size());
}

bool FakePlatform::TooLong(const std::string& path) const {
  if (longestPath == 0) return false;
  const CodePage cp(AnsiCodePage());
  size_t characters = 0;
  for (size_t at = 0; at < path.size(); ++characters) {
    const int length = cp.CharLength(path.c_str() + at);
    at += length < 1 ? 1 : static_cast<size_t>(length);
  }
  return characters > longestPath;
}

bool FakePlatform::IsFileSystemRoot(const char* path, bool followLast) {
  if (longestPath == 0 && volumeRoot.empty())
    return PosixPlatform::IsFileSystemRoot(path, followLast);
  std::string plain(path);
  while (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  return !volumeRoot.empty() && plain == volumeRoot;
}

std::unique_ptr<DirSearch> FakePlatform::StartSearch(const char* pattern,
                                                     DirEntry& first) {
  if (TooLong(pattern)) return nullptr;
  return PosixPlatform::StartSearch(pattern, first);
}

std::unique_ptr<DirSearch> FakePlatform::StartSearchInside(
    const char* directory, DirEntry& first) {
  if (TooLong(std::string(directory) + "/*.*")) return nullptr;
  return PosixPlatform::StartSearchInside(directory, first);
}

uint32_t FakePlatform::GetFileAttrs(const char* path) {
  if (TooLong(path)) return kInvalidAttributes;
  return PosixPlatform::GetFileAttrs(path);
}

bool FakePlatform::StampOf(const char* path, FileStamp& out) {
  return !TooLong(path) && PosixPlatform::StampOf(path, out);
}

bool FakePlatform::Refused(const char* operation, const char* path) {
  if (TooLong(path)) return true;
  if (!refuseChanges) return false;
  changes.push_back(std::string(operation) + " " + path);
  return true;
}

bool FakePlatform::SetFileAttrs(const char* path, uint32_t attributes) {
  return !Refused("SetFileAttrs", path) &&
         PosixPlatform::SetFileAttrs(path, attributes);
}

bool FakePlatform::MakeDirectory(const char* path) {
  return !Refused("MakeDirectory", path) && PosixPlatform::MakeDirectory(path);
}

bool FakePlatform::RemoveDir(const char* path) {
  return !Refused("RemoveDir", path) && PosixPlatform::RemoveDir(path);
}

bool FakePlatform::CopyFileOver(const char* source, const char* destination) {
  return !TooLong(source) && !Refused("CopyFileOver", destination) &&
         PosixPlatform::CopyFileOver(source, destination);
}

bool FakePlatform::MoveFileTo(const char* source, const char* destination) {
  return !TooLong(destination) && !Refused("MoveFileTo", source) &&
         PosixPlatform::MoveFileTo(source, destination);
}

bool FakePlatform::MoveFileOver(const char* source, const char* destination) {
  return !TooLong(destination) && !Refused("MoveFileOver", source) &&
         PosixPlatform::MoveFileOver(source, destination);
}

bool FakePlatform::DeleteOneFile(const char* path) {
  return !Refused("DeleteOneFile", path) && PosixPlatform::DeleteOneFile(path);
}
