// The INI reader on a fuzzed settings file: every key and section read
// must give what a plain line-by-line reading of the same bytes gives
// (section and key names ignoring ASCII case, the first of a name winning,
// blanks and one pair of quotes removed, values cut at a character
// boundary), also when the file is rewritten between two reads in the same
// instant with the same size, which the reader's cache must notice.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "fuzz_support.h"
#include "platform/posix/posix_platform.h"
#include "settings/profile_cache.h"
#include "settings/profile_reader.h"
#include "settings/settings_reader.h"

namespace {

// The ANSI code page of these runs (the platform's is set to it).
const CodePage kAnsi(kCodePageUtf8);

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Names equal but for the case of ASCII letters that stand alone: the
// second byte of a double-byte character is never folded (in code page 932
// "\xF7e" and "\xF7E" are two characters).
bool SameNames(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    const size_t n = static_cast<size_t>(kAnsi.CharLength(a.c_str() + i));
    if (n == 1 ? !SameFolded(a.substr(i, 1), b.substr(i, 1), kAnsi)
               : a.compare(i, n, b, i, n) != 0) {
      return false;
    }
    i += n;
  }
  return true;
}

// The settings file read the slow and simple way.
struct Reference {
  struct Section {
    std::string name;
    std::vector<std::string> lines;  // as written, blank lines left out
  };
  std::string data;  // the decoded text
  std::vector<Section> sections;

  // The platform's ANSI code page is UTF-8 here, so a decoded file's text
  // is its UTF-8 (the decoding has unit tests of its own).
  explicit Reference(const std::string& bytes)
      : data(DecodeProfileText(bytes,
                               [](const std::string& utf8) { return utf8; })) {
    size_t at = 0;
    while (at < data.size()) {
      size_t end = data.find_first_of("\r\n", at);
      if (end == std::string::npos) end = data.size();
      const std::string line = data.substr(at, end - at);
      at = end;
      if (at < data.size()) {
        if (data[at] == '\r' && at + 1 < data.size() && data[at + 1] == '\n')
          ++at;
        ++at;
      }
      const std::string t = Trimmed(line);
      if (t.empty()) continue;
      const size_t close = t.rfind(']');
      if (t[0] == '[' && close != std::string::npos && close > 0) {
        sections.push_back({Trimmed(t.substr(1, close - 1)), {}});
        continue;
      }
      if (!sections.empty()) sections.back().lines.push_back(line);
    }
  }

  const Section* Find(const std::string& name) const {
    for (const Section& s : sections)
      if (SameNames(s.name, Trimmed(name))) return &s;
    return nullptr;
  }

  // The value of key, or null when it is missing.
  bool Value(const std::string& section, const std::string& key,
             std::string& out) const {
    const Section* s = Find(section);
    if (s == nullptr) return false;
    for (const std::string& line : s->lines) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      if (!SameNames(Trimmed(line.substr(0, eq)), Trimmed(key))) continue;
      std::string v = Trimmed(line.substr(eq + 1));
      if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
      out = v.c_str();  // up to a NUL
      return true;
    }
    return false;
  }
};

// The longest prefix of at most limit bytes that ends at a character
// boundary.
std::string Cut(const std::string& text, size_t limit) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t n = static_cast<size_t>(kAnsi.CharLength(text.c_str() + at));
    if (at + n > limit) break;
    at += n;
  }
  return text.substr(0, at);
}

// The name as a caller might write it: other letter case, blanks around.
std::string Disguised(const std::string& name, uint8_t how) {
  std::string out = name;
  if (how & 1)
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (how & 2) out = " " + out + "\t";
  return out;
}

void CheckKey(ProfileCache& cache, const std::string& path,
              const Reference& ref, const std::string& section,
              const std::string& key, uint32_t size) {
  std::vector<char> buffer(size + 1, '\x7F');
  const uint32_t n = cache.ReadKey(
      path.c_str(), section.c_str(), key.c_str(), "NO_DATA", buffer.data(),
      size);
  FUZZ_CHECK(buffer[size] == '\x7F');  // nothing written past the buffer
  std::string want;
  if (!ref.Value(section, key, want)) want = "NO_DATA";
  want = Cut(want, size - 1);
  FUZZ_CHECK(n == want.size());
  FUZZ_CHECK(std::string(buffer.data()) == want);
}

void CheckSection(ProfileCache& cache, const std::string& path,
                  const Reference& ref, const std::string& section,
                  uint32_t size) {
  std::vector<char> buffer(size + 1, '\x7F');
  const uint32_t n = cache.ReadSectionLines(
      path.c_str(), section.c_str(), buffer.data(), size);
  FUZZ_CHECK(buffer[size] == '\x7F');
  std::string want;
  const Reference::Section* s = ref.Find(section);
  bool cut = false;
  if (s != nullptr) {
    for (const std::string& line : s->lines) {
      const std::string text = line.c_str();
      if (text.empty()) continue;
      if (want.size() + text.size() + 2 > size) {
        cut = true;
        break;
      }
      want += text;
      want += '\0';
    }
  }
  if (size == 1) {
    FUZZ_CHECK(n == 0 && buffer[0] == 0);  // room for the end mark only
  } else if (cut) {
    FUZZ_CHECK(n == size - 2);
    FUZZ_CHECK(buffer[size - 2] == 0 && buffer[size - 1] == 0);
    FUZZ_CHECK(std::memcmp(buffer.data(), want.data(), want.size()) == 0);
  } else {
    FUZZ_CHECK(n == want.size());
    FUZZ_CHECK(std::memcmp(buffer.data(), want.data(), want.size()) == 0);
    if (size > n) FUZZ_CHECK(buffer[n] == 0);
  }
}

void CheckAll(ProfileCache& cache, const std::string& path,
              const std::string& data, FuzzedDataProvider& in) {
  const Reference ref(data);
  // Names that occur in the file, and one that may not.
  std::vector<std::string> sections = {"UPDATER", "DEFINE"};
  for (const auto& s : ref.sections) sections.push_back(s.name);
  const size_t si =
      in.ConsumeIntegralInRange<size_t>(0, sections.size() - 1);
  // Names reach the reader as C texts: up to a NUL.
  const std::string section = sections[si].c_str();
  std::vector<std::string> keys = {"MODE", "NAME"};
  if (const Reference::Section* s = ref.Find(section)) {
    for (const std::string& line : s->lines) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) keys.push_back(Trimmed(line.substr(0, eq)));
    }
  }
  const std::string key =
      keys[in.ConsumeIntegralInRange<size_t>(0, keys.size() - 1)].c_str();
  const uint8_t how = in.ConsumeIntegral<uint8_t>();
  CheckKey(cache, path, ref, Disguised(section, how),
           Disguised(key, how >> 2), in.ConsumeIntegralInRange<uint32_t>(1, 300));
  CheckSection(cache, path, ref, Disguised(section, how >> 4),
               in.ConsumeIntegralInRange<uint32_t>(1, 40000));

  // The engine's readers on top.
  StrBuf value;
  if (ReadProfileString(cache, path.c_str(), section.c_str(), key.c_str(),
                        value) == KeyRead::kPresent)
    FUZZ_CHECK(value.Length() <= 258);
  int32_t number = 0;
  (void)ReadProfileInt(cache, path.c_str(), section.c_str(), key.c_str(),
                       number);
  StrBuf table;
  const int32_t count =
      ReadProfileSection(cache, path.c_str(), section.c_str(), table);
  FUZZ_CHECK(count >= 0);
  // One entry a line: no line holds a line feed.
  if (count > 0) {
    const std::string t = table.Text();
    FUZZ_CHECK(std::count(t.begin(), t.end(), '\n') == count - 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // The byte that once chose the code page, whose choice the platform then
  // undid: the files are read in UTF-8.
  static_cast<void>(in.ConsumeBool());
  const size_t flip = in.ConsumeIntegral<uint16_t>();
  const std::string content = in.ConsumeRandomLengthString(size);
  const std::string path = FuzzDirectory() + "/updater.ini";

  PosixPlatform platform;
  platform.SetCodePage(kCodePageUtf8);
  ProfileCache cache(platform, platform.codePage());
  WriteFuzzFile(path, content.data(), content.size());
  CheckAll(cache, path, content, in);

  // The same file rewritten at once with one byte changed: same size, same
  // inode, most likely the same time stamps.
  if (!content.empty()) {
    std::string changed = content;
    changed[flip % changed.size()] ^= static_cast<char>(1 + (flip >> 8) % 255);
    WriteFuzzFile(path, changed.data(), changed.size());
    CheckAll(cache, path, changed, in);
  }
  return 0;
}
