#include "settings/profile_cache.h"

#include <new>

namespace {

// Parsed files kept at once; the engine reads one.
constexpr size_t kMaxKeptFiles = 8;

}  // namespace

struct ProfileCache::Parsed {
  ChangeStamp identity;
  // Whether identity alone vouches for the contents (ProfileStampTrusted);
  // until it does, each request compares the file's bytes with Bytes().
  bool trusted = false;
  // The steady clock before the bytes were first read under this identity.
  int64_t firstSeen = 0;
  // The bytes as read when the reader decoded them (an ANSI file's bytes
  // are the reader's text).
  std::string decodedBytes;
  ProfileReader reader;

  Parsed(const FileLook& look, const std::string& bytes,
         const Utf8ToAnsiFunction& toAnsi, const CodePage& cp)
      : identity(look.identity),
        firstSeen(look.steadyClock),
        reader(bytes, toAnsi, cp) {
    if (reader.encoding() != ProfileEncoding::kAnsi) decodedBytes = bytes;
    trusted = ProfileStampTrusted(identity.changed, look, firstSeen);
  }
  const std::string& Bytes() const {
    return reader.encoding() == ProfileEncoding::kAnsi ? reader.text()
                                                       : decodedBytes;
  }
};

ProfileCache::ProfileCache(Platform& platform, const CodePage& cp)
    : platform_(platform), codePage_(cp) {}
ProfileCache::~ProfileCache() = default;

bool ProfileStampTrusted(int64_t changed, const FileLook& look,
                         int64_t firstSeen) {
  constexpr int64_t kSecond = 1000000000;
  const bool wholeSeconds = changed % kSecond == 0;
  const int64_t tick = wholeSeconds ? 2 * kSecond : 1;
  if (changed + tick <= look.wallClock) return true;
  // A system's tick is at most some 16 ms; a file server's may be longer.
  const int64_t window = wholeSeconds ? 2 * kSecond : 50000000;
  return look.steadyClock - firstSeen >= window;
}

const ProfileCache::Parsed* ProfileCache::Load(const char* path) {
  outOfMemory_ = false;
  try {
    return LoadOrThrow(path);
  } catch (const std::bad_alloc&) {
    // Too large to hold, or no memory left for the bytes: answered as a
    // missing file, and told apart by OutOfMemory().
    outOfMemory_ = true;
    return nullptr;
  }
}

const ProfileCache::Parsed* ProfileCache::LoadOrThrow(const char* path) {
  if (path == nullptr || path[0] == 0) return nullptr;
  auto cached = kept_.find(path);
  Parsed* kept = cached != kept_.end() ? cached->second.get() : nullptr;

  FileLook look;
  std::string bytes;
  FileRead got = platform_.files().ReadFileIfChanged(
      path, kept != nullptr && kept->trusted ? &kept->identity : nullptr, look,
      bytes);
  if (got == FileRead::kUnchanged) return kept;
  if (got == FileRead::kMissing) {
    if (kept != nullptr) kept_.erase(cached);
    return nullptr;
  }
  if (kept != nullptr && kept->identity == look.identity) {
    // Not yet vouched for by its identity: the same bytes keep the parse.
    ++comparisons_;
    if (bytes == kept->Bytes()) {
      kept->trusted =
          ProfileStampTrusted(kept->identity.changed, look, kept->firstSeen);
      return kept;
    }
  }
  if (kept != nullptr) kept_.erase(cached);

  std::unique_ptr<Parsed> parsed(new Parsed(
      look, bytes,
      [this](const std::string& utf8) {
        return platform_.system().Utf8ToAnsi(utf8.c_str());
      },
      codePage_));
  ++parses_;
  if (kept_.size() >= kMaxKeptFiles) kept_.clear();
  Parsed* result = parsed.get();
  kept_[path] = std::move(parsed);
  return result;
}

uint32_t ProfileCache::ReadKey(const char* file, const char* section,
                               const char* key, const char* def, char* buffer,
                               uint32_t size) {
  outOfMemory_ = false;
  if (buffer == nullptr || size == 0) return 0;
  // A null section or key would list names with the system's profile
  // functions; the engine never asks for that.
  if (section == nullptr || key == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  const Parsed* parsed = Load(file);
  if (parsed == nullptr)
    return ProfileReader::ReadMissingKey(codePage_, def, buffer, size);
  return parsed->reader.ReadKey(section, key, def, buffer, size);
}

uint32_t ProfileCache::ReadSectionLines(const char* file, const char* section,
                                        char* buffer, uint32_t size) {
  outOfMemory_ = false;
  if (buffer == nullptr || size < 2 || section == nullptr) {
    return ProfileReader::ReadMissingSection(buffer, size);
  }
  const Parsed* parsed = Load(file);
  if (parsed == nullptr) return ProfileReader::ReadMissingSection(buffer, size);
  return parsed->reader.ReadSectionLines(section, buffer, size);
}
