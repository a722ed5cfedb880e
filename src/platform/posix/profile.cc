// The settings file on POSIX: read with the shared INI reader
// (platform/profile_reader.h), which decodes it and converts it to the ANSI
// code page, and kept parsed.
//
// A settings file is read and indexed in one linear pass and kept until its
// identity (device, inode, size, modification and change times) changes, so
// that the engine's many key reads do not parse it again each time.
//
// The identity vouches for the kept contents only once any later change of
// the file must give it another change time (profile_stamp.h). The kernel
// stamps the change time at every change, whatever the modification time
// says, so a file dated 2099 or 1970 is trusted like any other. Until then
// (a change in the tick of the read, a stamp ahead of the clock), each
// request compares the file's bytes with the kept ones instead of parsing
// them again.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "platform/posix/profile_stamp.h"
#include "platform/profile_reader.h"

namespace {

// A larger file is not a settings file.
constexpr uint64_t kMaxProfileSize = 0xFFFFFFF0u;
// Parsed files kept at once; the engine reads one.
constexpr size_t kMaxCachedProfiles = 8;

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  explicit FileIdentity(const struct stat& st)
      : device(st.st_dev),
        inode(st.st_ino),
        size(st.st_size),
        modified(st.st_mtim),
        changed(st.st_ctim) {}

  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
  }
};

// A time in nanoseconds, held within about 285 years of 1970 so that sums
// of it do not overflow (a stamp beyond is ahead of any clock anyway).
int64_t Nanoseconds(const timespec& t) {
  constexpr int64_t kLimit = 9000000000;  // seconds
  int64_t seconds = static_cast<int64_t>(t.tv_sec);
  if (seconds > kLimit) seconds = kLimit;
  if (seconds < -kLimit) seconds = -kLimit;
  return seconds * 1000000000 + t.tv_nsec;
}

// Closes a descriptor on every path.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

struct ParsedProfile {
  FileIdentity identity;
  // Whether identity alone vouches for the contents (see
  // ProfileStampTrusted); until it does, each request compares the file's
  // bytes with Bytes().
  mutable bool trusted = false;
  // The monotonic clock before the bytes were first read under this
  // identity.
  int64_t firstSeen = 0;
  // The bytes as read when the reader decoded them (an ANSI file's bytes
  // are the reader's text).
  std::string decodedBytes;
  ProfileReader reader;

  ParsedProfile(const struct stat& st, const std::string& bytes,
                const Utf8ToAnsiFunction& toAnsi)
      : identity(st), reader(bytes, toAnsi) {
    if (reader.encoding() != ProfileEncoding::kAnsi) decodedBytes = bytes;
  }
  const std::string& Bytes() const {
    return reader.encoding() == ProfileEncoding::kAnsi ? reader.text()
                                                       : decodedBytes;
  }
};

ProfileClocks ReadProfileClocks() {
  timespec wall{};
  timespec steady{};
#ifdef CLOCK_REALTIME_COARSE
  // File times are stamped from the coarse clock; compare like with like.
  clock_gettime(CLOCK_REALTIME_COARSE, &wall);
#else
  clock_gettime(CLOCK_REALTIME, &wall);
#endif
  clock_gettime(CLOCK_MONOTONIC, &steady);
  ProfileClocks clocks;
  clocks.wall = Nanoseconds(wall);
  clocks.steady = Nanoseconds(steady);
  return clocks;
}

bool ProfileStampTrusted(const timespec& changed, const ProfileClocks& clocks,
                         int64_t firstSeen) {
  const bool wholeSeconds = changed.tv_nsec == 0;
  const int64_t tick = wholeSeconds ? 2000000000 : 1;
  if (Nanoseconds(changed) + tick <= clocks.wall) return true;
  // The kernel's tick is at most 10 ms; a file server's may be longer.
  const int64_t window = wholeSeconds ? 2000000000 : 50000000;
  return clocks.steady - firstSeen >= window;
}

namespace {

// Whether the file at path still holds the bytes of profile under its
// identity. Reads it in pieces and stops at the first difference.
bool HoldsSameBytes(const std::string& path, const ParsedProfile& profile) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      !(FileIdentity(st) == profile.identity)) {
    return false;
  }
  char piece[16 * 1024];
  const std::string& kept = profile.Bytes();
  size_t at = 0;
  for (;;) {
    ssize_t n = read(fd.get(), piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return at == kept.size();
    const size_t got = static_cast<size_t>(n);
    if (got > kept.size() - at ||
        std::memcmp(piece, kept.data() + at, got) != 0) {
      return false;
    }
    at += got;
  }
}

}  // namespace

std::shared_ptr<const ParsedProfile> PosixPlatform::LoadProfile(
    const char* path) {
  if (path == nullptr || path[0] == 0) return nullptr;
  const std::string localPath = AnsiToLocal(path);
  auto cached = profiles_.find(localPath);

  struct stat st;
  if (stat(localPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (cached != profiles_.end()) profiles_.erase(cached);
    return nullptr;
  }
  if (cached != profiles_.end() &&
      cached->second->identity == FileIdentity(st)) {
    const ParsedProfile& kept = *cached->second;
    if (kept.trusted) return cached->second;
    // Not yet vouched for by its identity: the same bytes keep the parse.
    const ProfileClocks clocks = ReadProfileClocks();
    ++profileComparisons_;
    if (HoldsSameBytes(localPath, kept)) {
      kept.trusted =
          ProfileStampTrusted(kept.identity.changed, clocks, kept.firstSeen);
      return cached->second;
    }
  }
  if (cached != profiles_.end()) profiles_.erase(cached);

  // O_NONBLOCK: a FIFO put in the file's place must not block the open.
  FileDescriptor fd(open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return nullptr;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > kMaxProfileSize) {
    return nullptr;
  }

  // Read after the identity and after the clocks: a change made while the
  // file is read either shows in a new identity or is in the bytes.
  const ProfileClocks clocks = ReadProfileClocks();
  std::shared_ptr<ParsedProfile> profile;
  try {
    std::string bytes(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
      ssize_t n = read(fd.get(), &bytes[got], bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return nullptr;
      if (n == 0) break;  // the file shrank while being read
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    profile = std::make_shared<ParsedProfile>(
        st, bytes, [this](const std::string& utf8) {
          return Utf8ToAnsi(utf8.c_str());
        });
    ++profileParses_;
    profile->firstSeen = clocks.steady;
    profile->trusted =
        ProfileStampTrusted(profile->identity.changed, clocks, clocks.steady);
    if (profiles_.size() >= kMaxCachedProfiles) profiles_.clear();
    profiles_[localPath] = profile;
  } catch (const std::bad_alloc&) {
    return nullptr;  // too large to hold: read as a missing file
  }
  return profile;
}

uint32_t PosixPlatform::ReadProfileKey(const char* file, const char* section,
                                       const char* key, const char* def,
                                       char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::shared_ptr<const ParsedProfile> profile;
  if (section != nullptr && key != nullptr) profile = LoadProfile(file);
  if (!profile) return ProfileReader::ReadMissingKey(def, buffer, size);
  return profile->reader.ReadKey(section, key, def, buffer, size);
}

uint32_t PosixPlatform::ReadProfileSectionLines(const char* file,
                                                const char* section,
                                                char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::shared_ptr<const ParsedProfile> profile;
  if (section != nullptr && size > 1) profile = LoadProfile(file);
  if (!profile) return ProfileReader::ReadMissingSection(buffer, size);
  return profile->reader.ReadSectionLines(section, buffer, size);
}
