// The INI reader with the Windows profile semantics: section and key names
// compared ignoring ASCII case, the first section and the first key of a
// name win, blanks and one pair of enclosing quotes removed from values,
// section lines handed over as written.
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

#include "base/code_page.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/profile_stamp.h"

namespace {

constexpr uint32_t kNoEquals = 0xFFFFFFFF;
// Offsets are kept in 32 bits; a larger file is not a settings file.
constexpr uint64_t kMaxProfileSize = 0xFFFFFFF0u;
// Parsed files kept at once; the engine reads one.
constexpr size_t kMaxCachedProfiles = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const char* a, size_t aLength, const char* b,
                        size_t bLength) {
  return aLength == bLength && SameIgnoringAsciiCase(a, b, aLength);
}

// Narrows [begin, end) of text to exclude leading and trailing blanks.
void TrimBlanks(const char* text, uint32_t& begin, uint32_t& end) {
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

// Length of text[0, length) up to its first NUL.
size_t LengthToNul(const char* text, size_t length) {
  const void* nul = std::memchr(text, 0, length);
  return nul != nullptr ? static_cast<const char*>(nul) - text : length;
}

// The largest count <= limit of bytes of text that does not end inside a
// character of the ANSI code page.
size_t CutAtCharacter(const char* text, size_t length, size_t limit) {
  if (length <= limit) return length;
  size_t at = 0;
  while (at < limit) {
    size_t n = static_cast<size_t>(CharLength(text + at));
    if (at + n > limit) break;
    at += n;
  }
  return at;
}

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
  // One non-blank line inside a section: [begin, end) of data, and the
  // offset of its first "=" (kNoEquals when it has none).
  struct Line {
    uint32_t begin;
    uint32_t end;
    uint32_t equals;
  };
  // A section header: its name [nameBegin, nameEnd) of data and its lines
  // [first, last).
  struct Section {
    uint32_t nameBegin;
    uint32_t nameEnd;
    uint32_t hash;
    uint32_t first;
    uint32_t last;
  };

  FileIdentity identity;
  // Whether identity alone vouches for data (see ProfileStampTrusted); until
  // it does, each request compares the file's bytes with data.
  mutable bool trusted = false;
  // The monotonic clock before data was first read under this identity.
  int64_t firstSeen = 0;
  std::string data;
  std::vector<Line> lines;
  std::vector<Section> sections;  // in file order
  // Open-addressing table of the first section of each name: slots hold a
  // section index + 1, 0 when empty. Its size is a power of two.
  std::vector<uint32_t> index;

  explicit ParsedProfile(const struct stat& st) : identity(st) {}

  void Parse();
  const Section* Find(const char* name) const;

 private:
  // The slot of the section named [begin, end) of text, or the empty slot
  // where it belongs.
  size_t Probe(const char* text, uint32_t begin, uint32_t end,
               uint32_t hash) const;
  void BuildIndex();
};

namespace {

// FNV-1a over the ASCII-lower-cased bytes.
uint32_t HashName(const char* text, uint32_t begin, uint32_t end) {
  uint32_t hash = 2166136261u;
  for (uint32_t i = begin; i < end; ++i) {
    hash ^= static_cast<unsigned char>(LowerAscii(text[i]));
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

size_t ParsedProfile::Probe(const char* text, uint32_t begin, uint32_t end,
                            uint32_t hash) const {
  const size_t mask = index.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    if (index[slot] == 0) return slot;
    const Section& s = sections[index[slot] - 1];
    if (s.hash == hash &&
        EqualsIgnoringCase(data.data() + s.nameBegin, s.nameEnd - s.nameBegin,
                           text + begin, end - begin)) {
      return slot;
    }
  }
}

void ParsedProfile::BuildIndex() {
  size_t slots = 8;
  while (slots < sections.size() * 2) slots *= 2;
  index.assign(slots, 0);
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    size_t slot = Probe(data.data(), s.nameBegin, s.nameEnd, s.hash);
    if (index[slot] == 0) index[slot] = static_cast<uint32_t>(i + 1);
    // else a later section of a name already seen: the first one counts
  }
}

const ParsedProfile::Section* ParsedProfile::Find(const char* name) const {
  uint32_t begin = 0, end = static_cast<uint32_t>(std::strlen(name));
  TrimBlanks(name, begin, end);
  if (index.empty()) return nullptr;
  size_t slot = Probe(name, begin, end, HashName(name, begin, end));
  return index[slot] == 0 ? nullptr : &sections[index[slot] - 1];
}

// One pass over the bytes. Lines end at LF, CR LF or a lone CR; a UTF-8
// byte-order mark at the start is skipped; lines before the first section
// header and lines of only blanks are not kept.
void ParsedProfile::Parse() {
  const char* text = data.data();
  const uint32_t size = static_cast<uint32_t>(data.size());
  uint32_t at = 0;
  if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) at = 3;

  // The next LF and CR at or after at (size when there is none), found with
  // memchr and kept until passed, so each byte is searched once.
  auto find = [&](char c) {
    const void* p = std::memchr(text + at, c, size - at);
    return p != nullptr
               ? static_cast<uint32_t>(static_cast<const char*>(p) - text)
               : size;
  };
  uint32_t nextLf = find('\n');
  uint32_t nextCr = find('\r');
  while (at < size) {
    if (nextLf < at) nextLf = find('\n');
    if (nextCr < at) nextCr = find('\r');
    const uint32_t begin = at;
    const uint32_t end = nextLf < nextCr ? nextLf : nextCr;
    at = end;
    if (at < size) {
      if (text[at] == '\r' && at + 1 < size && text[at + 1] == '\n') ++at;
      ++at;
    }

    uint32_t b = begin, e = end;
    TrimBlanks(text, b, e);
    if (b == e) continue;

    if (text[b] == '[') {
      uint32_t close = e;
      while (close > b + 1 && text[close - 1] != ']') --close;
      if (close > b + 1) {
        uint32_t nb = b + 1, ne = close - 1;
        TrimBlanks(text, nb, ne);
        const uint32_t first = static_cast<uint32_t>(lines.size());
        sections.push_back(
            Section{nb, ne, HashName(text, nb, ne), first, first});
        continue;
      }
    }
    if (sections.empty()) continue;

    const void* eq = std::memchr(text + begin, '=', end - begin);
    const uint32_t equals =
        eq != nullptr
            ? static_cast<uint32_t>(static_cast<const char*>(eq) - text)
            : kNoEquals;
    lines.push_back(Line{begin, end, equals});
    sections.back().last = static_cast<uint32_t>(lines.size());
  }
  BuildIndex();
}

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
  const std::string& kept = profile.data;
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
    profile = std::make_shared<ParsedProfile>(st);
    profile->data.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < profile->data.size()) {
      ssize_t n =
          read(fd.get(), &profile->data[got], profile->data.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return nullptr;
      if (n == 0) break;  // the file shrank while being read
      got += static_cast<size_t>(n);
    }
    profile->data.resize(got);
    profile->Parse();
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
  const char* value = def != nullptr ? def : "";
  size_t length = std::strlen(value);

  std::shared_ptr<const ParsedProfile> profile;
  const ParsedProfile::Section* found = nullptr;
  if (section != nullptr && key != nullptr) {
    profile = LoadProfile(file);
    if (profile) found = profile->Find(section);
  }
  if (found != nullptr) {
    uint32_t kb = 0, ke = static_cast<uint32_t>(std::strlen(key));
    TrimBlanks(key, kb, ke);
    const char* text = profile->data.data();
    for (uint32_t i = found->first; i < found->last; ++i) {
      const ParsedProfile::Line& line = profile->lines[i];
      if (line.equals == kNoEquals) continue;
      uint32_t nb = line.begin, ne = line.equals;
      TrimBlanks(text, nb, ne);
      if (!EqualsIgnoringCase(text + nb, ne - nb, key + kb, ke - kb)) continue;
      uint32_t vb = line.equals + 1, ve = line.end;
      TrimBlanks(text, vb, ve);
      if (ve - vb >= 2 && (text[vb] == '"' || text[vb] == '\'') &&
          text[ve - 1] == text[vb]) {
        ++vb;
        --ve;
      }
      value = text + vb;
      length = LengthToNul(value, ve - vb);
      break;
    }
  }

  size_t n = CutAtCharacter(value, length, size - 1);
  std::memcpy(buffer, value, n);
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

uint32_t PosixPlatform::ReadProfileSectionLines(const char* file,
                                                const char* section,
                                                char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  std::shared_ptr<const ParsedProfile> profile;
  const ParsedProfile::Section* found = nullptr;
  if (section != nullptr) {
    profile = LoadProfile(file);
    if (profile) found = profile->Find(section);
  }

  // Lines are copied with their terminators while they fit; a list that
  // does not fit is cut so that it still ends with two NULs within the
  // buffer, and size - 2 is returned.
  uint32_t used = 0;
  if (found != nullptr) {
    const char* text = profile->data.data();
    for (uint32_t i = found->first; i < found->last; ++i) {
      const ParsedProfile::Line& line = profile->lines[i];
      size_t length = LengthToNul(text + line.begin, line.end - line.begin);
      if (length == 0) continue;  // an empty text would end the list
      if (used + length + 2 > size) {
        size_t room = used + 2 <= size ? size - 2 - used : 0;
        std::memcpy(buffer + used, text + line.begin, room);
        buffer[size - 2] = 0;
        buffer[size - 1] = 0;
        return size - 2;
      }
      std::memcpy(buffer + used, text + line.begin, length);
      used += static_cast<uint32_t>(length);
      buffer[used++] = 0;
    }
  }
  buffer[used] = 0;
  if (used == 0 && size >= 2) buffer[1] = 0;
  return used;
}
