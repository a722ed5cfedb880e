// The INI reader shared by both builds (profile_reader.h).
#include "settings/profile_reader.h"

#include <cstring>

#include "base/code_page.h"
#include "base/utf8.h"

namespace {

constexpr uint32_t kNoEquals = 0xFFFFFFFF;
// Offsets are kept in 32 bits; a larger text is not a settings file.
constexpr size_t kMaxTextSize = 0xFFFFFFF0u;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool EqualsIgnoringCase(const CodePage& cp, const char* a, size_t aLength,
                        const char* b, size_t bLength) {
  return aLength == bLength && cp.SameIgnoringAsciiCase(a, b, aLength);
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
size_t CutAtCharacter(const CodePage& cp, const char* text, size_t length,
                      size_t limit) {
  if (length <= limit) return length;
  size_t at = 0;
  while (at < limit) {
    size_t n = static_cast<size_t>(cp.CharLength(text + at));
    if (at + n > limit) break;
    at += n;
  }
  return at;
}

// FNV-1a over the ASCII-lower-cased bytes.
uint32_t HashName(const char* text, uint32_t begin, uint32_t end) {
  uint32_t hash = 2166136261u;
  for (uint32_t i = begin; i < end; ++i) {
    hash ^= static_cast<unsigned char>(FoldAsciiLetter(text[i]));
    hash *= 16777619u;
  }
  return hash;
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// utf8 converted piece by piece between its NULs, which stay as they are:
// the conversions take NUL-terminated texts.
std::string ConvertAroundNuls(const std::string& utf8,
                              const Utf8ToAnsiFunction& toAnsi) {
  std::string out;
  out.reserve(utf8.size());
  size_t at = 0;
  while (at < utf8.size()) {
    size_t nul = utf8.find('\0', at);
    if (nul == std::string::npos) nul = utf8.size();
    if (nul > at) out += toAnsi(utf8.substr(at, nul - at));
    if (nul < utf8.size()) out += '\0';
    at = nul + 1;
  }
  return out;
}

}  // namespace

ProfileEncoding DetectProfileEncoding(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return ProfileEncoding::kUtf16Bom;
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return ProfileEncoding::kUtf8Bom;
  bool nonAscii = false;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      nonAscii = true;
      break;
    }
  }
  if (nonAscii && IsValidUtf8(bytes.data(), bytes.size())) {
    return ProfileEncoding::kUtf8;
  }
  return ProfileEncoding::kAnsi;
}

std::string Utf16LeToUtf8(const char* bytes, size_t size) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  const size_t units = size / 2;  // an odd last byte is dropped
  auto unit = [p](size_t i) -> uint32_t { return p[2 * i] | (p[2 * i + 1] << 8); };
  std::string out;
  out.reserve(units * 3 / 2);
  for (size_t i = 0; i < units; ++i) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units &&
        unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // unpaired
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string DecodeProfileText(const std::string& bytes,
                              const Utf8ToAnsiFunction& toAnsi,
                              ProfileEncoding* encoding) {
  const ProfileEncoding found = DetectProfileEncoding(bytes);
  if (encoding != nullptr) *encoding = found;
  switch (found) {
    case ProfileEncoding::kUtf16Bom:
      return ConvertAroundNuls(Utf16LeToUtf8(bytes.data() + 2, bytes.size() - 2),
                               toAnsi);
    case ProfileEncoding::kUtf8Bom:
      return ConvertAroundNuls(bytes.substr(3), toAnsi);
    case ProfileEncoding::kUtf8:
      return ConvertAroundNuls(bytes, toAnsi);
    case ProfileEncoding::kAnsi:
      break;
  }
  return bytes;
}

// ---------------------------------------------------------------------------

ProfileReader::ProfileReader(const std::string& bytes,
                             const Utf8ToAnsiFunction& toAnsi,
                             const CodePage& cp)
    : codePage_(cp), data_(DecodeProfileText(bytes, toAnsi, &encoding_)) {
  if (data_.size() > kMaxTextSize) data_.clear();
  Parse();
}

size_t ProfileReader::Probe(const char* text, uint32_t begin, uint32_t end,
                            uint32_t hash) const {
  const size_t mask = index_.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    if (index_[slot] == 0) return slot;
    const Section& s = sections_[index_[slot] - 1];
    if (s.hash == hash &&
        EqualsIgnoringCase(codePage_, data_.data() + s.nameBegin,
                           s.nameEnd - s.nameBegin, text + begin,
                           end - begin)) {
      return slot;
    }
  }
}

void ProfileReader::BuildIndex() {
  size_t slots = 8;
  while (slots < sections_.size() * 2) slots *= 2;
  index_.assign(slots, 0);
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    size_t slot = Probe(data_.data(), s.nameBegin, s.nameEnd, s.hash);
    if (index_[slot] == 0) index_[slot] = static_cast<uint32_t>(i + 1);
    // else a later section of a name already seen: the first one counts
  }
}

const ProfileReader::Section* ProfileReader::Find(const char* name) const {
  uint32_t begin = 0, end = static_cast<uint32_t>(std::strlen(name));
  TrimBlanks(name, begin, end);
  if (index_.empty()) return nullptr;
  size_t slot = Probe(name, begin, end, HashName(name, begin, end));
  return index_[slot] == 0 ? nullptr : &sections_[index_[slot] - 1];
}

// One pass over the text. Lines end at LF, CR LF or a lone CR; lines before
// the first section header and lines of only blanks are not kept.
void ProfileReader::Parse() {
  const char* text = data_.data();
  const uint32_t size = static_cast<uint32_t>(data_.size());
  uint32_t at = 0;

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
        const uint32_t first = static_cast<uint32_t>(lines_.size());
        sections_.push_back(
            Section{nb, ne, HashName(text, nb, ne), first, first});
        continue;
      }
    }
    if (sections_.empty()) continue;

    const void* eq = std::memchr(text + begin, '=', end - begin);
    const uint32_t equals =
        eq != nullptr
            ? static_cast<uint32_t>(static_cast<const char*>(eq) - text)
            : kNoEquals;
    lines_.push_back(Line{begin, end, equals});
    sections_.back().last = static_cast<uint32_t>(lines_.size());
  }
  BuildIndex();
}

uint32_t ProfileReader::ReadMissingKey(const CodePage& cp, const char* def,
                                       char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const char* value = def != nullptr ? def : "";
  size_t n = CutAtCharacter(cp, value, std::strlen(value), size - 1);
  std::memcpy(buffer, value, n);
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

uint32_t ProfileReader::ReadMissingSection(char* buffer, uint32_t size) {
  for (uint32_t i = 0; buffer != nullptr && i < size && i < 2; ++i) {
    buffer[i] = 0;
  }
  return 0;
}

uint32_t ProfileReader::ReadKey(const char* section, const char* key,
                                const char* def, char* buffer,
                                uint32_t size) const {
  if (buffer == nullptr || size == 0) return 0;
  const Section* found =
      section != nullptr && key != nullptr ? Find(section) : nullptr;
  if (found == nullptr) return ReadMissingKey(codePage_, def, buffer, size);

  uint32_t kb = 0, ke = static_cast<uint32_t>(std::strlen(key));
  TrimBlanks(key, kb, ke);
  const char* text = data_.data();
  for (uint32_t i = found->first; i < found->last; ++i) {
    const Line& line = lines_[i];
    if (line.equals == kNoEquals) continue;
    uint32_t nb = line.begin, ne = line.equals;
    TrimBlanks(text, nb, ne);
    if (!EqualsIgnoringCase(codePage_, text + nb, ne - nb, key + kb, ke - kb))
      continue;
    uint32_t vb = line.equals + 1, ve = line.end;
    TrimBlanks(text, vb, ve);
    if (ve - vb >= 2 && (text[vb] == '"' || text[vb] == '\'') &&
        text[ve - 1] == text[vb]) {
      ++vb;
      --ve;
    }
    const char* value = text + vb;
    size_t n =
        CutAtCharacter(codePage_, value, LengthToNul(value, ve - vb), size - 1);
    std::memcpy(buffer, value, n);
    buffer[n] = 0;
    return static_cast<uint32_t>(n);
  }
  return ReadMissingKey(codePage_, def, buffer, size);
}

uint32_t ProfileReader::ReadSectionLines(const char* section, char* buffer,
                                         uint32_t size) const {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  const Section* found = section != nullptr ? Find(section) : nullptr;

  // Lines are copied with their terminators while they fit; a list that
  // does not fit is cut so that it still ends with two NULs within the
  // buffer, and size - 2 is returned.
  uint32_t used = 0;
  if (found != nullptr) {
    const char* text = data_.data();
    for (uint32_t i = found->first; i < found->last; ++i) {
      const Line& line = lines_[i];
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
