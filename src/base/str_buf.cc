#include "base/str_buf.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "base/code_page.h"

namespace {

constexpr int32_t kFormatArea = 1024;        // work area of the formatting
constexpr int32_t kMaxText = INT32_MAX - 1;  // longest text a StrBuf holds

const char kEmptyText[1] = {0};

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Length of a caller's text, limited to what a StrBuf can hold.
int32_t TextLength(const char* text) {
  const size_t n = std::strlen(OrEmpty(text));
  return n > static_cast<size_t>(kMaxText) ? kMaxText : static_cast<int32_t>(n);
}

// Comparison over n bytes, the letters of single-byte characters folded.
bool SameFolded(const char* a, const char* b, int32_t n, const CodePage& cp) {
  return n <= 0 || cp.SameIgnoringAsciiCase(a, b, static_cast<size_t>(n));
}

// A new NUL-terminated block of n + 1 bytes, or null.
char* NewBlock(int64_t n) {
  if (n < 0 || n > kMaxText) return nullptr;
  char* block = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  if (block != nullptr) block[n] = 0;
  return block;
}

// Reads the decimal or hexadecimal number at the start of text the way
// scanf's "%d" and "%x" do. Values out of range wrap modulo 2^32 (as the
// conversions of the Windows runtime do), never undefined behaviour.
uint32_t ReadNumber(const char* p, bool hex) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (hex && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  uint32_t value = 0;
  for (;; ++p) {
    uint32_t digit;
    if (*p >= '0' && *p <= '9') {
      digit = static_cast<uint32_t>(*p - '0');
    } else if (hex && *p >= 'a' && *p <= 'f') {
      digit = static_cast<uint32_t>(*p - 'a' + 10);
    } else if (hex && *p >= 'A' && *p <= 'F') {
      digit = static_cast<uint32_t>(*p - 'A' + 10);
    } else {
      break;
    }
    value = value * (hex ? 16u : 10u) + digit;
  }
  return negative ? 0u - value : value;
}

struct FreeBlock {
  void operator()(char* block) const { std::free(block); }
};
using HeapText = std::unique_ptr<char, FreeBlock>;

// Every occurrence of find from q on replaced once, left to right.
HeapText ReplaceEach(const char* text, int32_t len, int32_t q, const char* find,
                     int32_t flen, const char* replacement, int32_t rlen,
                     const CodePage& cp) {
  int64_t count = 0;
  for (int32_t p = q; p >= 0;
       p = cp.FindAtCharBoundary(text, len, cp.CharBoundaryAfter(text, p, flen),
                                 find, flen)) {
    ++count;
  }
  HeapText block(NewBlock(len + count * (rlen - flen)));
  if (!block) return block;
  char* out = block.get();
  int32_t copied = 0;
  for (int32_t p = q; p >= 0;
       p = cp.FindAtCharBoundary(text, len, cp.CharBoundaryAfter(text, p, flen),
                                 find, flen)) {
    std::memcpy(out, text + copied, p - copied);
    out += p - copied;
    std::memcpy(out, replacement, rlen);
    out += rlen;
    copied = p + flen;
  }
  std::memcpy(out, text + copied, len - copied);
  return block;
}

// A growable byte stack for ReplaceRepeatedly.
class ByteStack {
 public:
  ByteStack() = default;
  ByteStack(const ByteStack&) = delete;
  ByteStack& operator=(const ByteStack&) = delete;
  ~ByteStack() { std::free(data_); }

  bool Push(char b) {
    if (size_ == capacity_ && !Grow()) return false;
    data_[size_++] = b;
    return true;
  }
  char Pop() { return data_[--size_]; }
  // The byte k places below the top (1 = the top), or 0.
  char Peek(int64_t k) const { return size_ - k >= 0 ? data_[size_ - k] : 0; }
  void Drop(int64_t n) { size_ -= n; }
  int64_t size() const { return size_; }
  const char* data() const { return data_; }

 private:
  bool Grow() {
    const int64_t capacity = capacity_ < 64 ? 64 : capacity_ * 2;
    if (capacity > static_cast<int64_t>(kMaxText) * 2) return false;
    char* data =
        static_cast<char*>(std::realloc(data_, static_cast<size_t>(capacity)));
    if (data == nullptr) return false;
    data_ = data;
    capacity_ = capacity;
    return true;
  }

  char* data_ = nullptr;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
};

// Replaces the first occurrence and searches again from the start, until
// none is left. Done in one pass: the bytes in front of a replacement are
// unchanged and held no occurrence, so the text is moved byte by byte onto
// an output stack, and whenever the output ends with an occurrence (which
// is then the first one), the occurrence is taken off and the replacement
// is put back in front of the input still to come. A cap on the number of
// replacements ends the rare rules that grow for ever; the text then keeps
// the replacements made so far. Null when there is no memory.
HeapText ReplaceRepeatedly(const char* text, int32_t len, const char* find,
                           int32_t flen, const char* replacement, int32_t rlen,
                           const CodePage& cp) {
  ByteStack input;  // the input still to come, its next byte on top
  for (int32_t i = len - 1; i >= 0; --i) {
    if (!input.Push(text[i])) return nullptr;
  }
  ByteStack output;
  ByteStack starts;  // per output byte: 1 when it begins a character
  const int64_t cap = 4 * static_cast<int64_t>(len) + 1024;
  int64_t done = 0;
  int pending = 0;  // further bytes of the current character
  while (input.size() > 0) {
    const char b = input.Pop();
    const bool starts_char = pending == 0;
    if (starts_char) {
      const char look[5] = {b, input.Peek(1), input.Peek(2), input.Peek(3), 0};
      pending = cp.CharLength(look) - 1;
    } else {
      --pending;
    }
    if (!output.Push(b) || !starts.Push(starts_char ? 1 : 0)) return nullptr;
    const int64_t at = output.size() - flen;
    if (done < cap && at >= 0 && starts.data()[at] != 0 &&
        std::memcmp(output.data() + at, find, flen) == 0) {
      output.Drop(flen);
      starts.Drop(flen);
      pending = 0;
      for (int32_t i = rlen - 1; i >= 0; --i) {
        if (!input.Push(replacement[i])) return nullptr;
      }
      ++done;
      if (output.size() + input.size() > kMaxText) return nullptr;
    }
  }
  HeapText block(NewBlock(output.size()));
  if (block) std::memcpy(block.get(), output.data(), output.size());
  return block;
}

// Length of text[0, n) without a last character that was cut short.
int32_t CompleteLength(const char* text, int32_t n, const CodePage& cp) {
  if (cp.Id() == kCodePageUtf8) {
    // A broken sequence counts as single bytes, so look back from the end
    // for the lead byte of the last sequence.
    int32_t j = n - 1;
    while (j > 0 && j > n - 4 &&
           (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80) {
      --j;
    }
    const unsigned char b = static_cast<unsigned char>(text[j < 0 ? 0 : j]);
    if (j >= 0 && cp.IsLeadByte(b)) {
      const int32_t need = b >= 0xF0 ? 4 : (b >= 0xE0 ? 3 : 2);
      if (j + need > n) return j;
    }
    return n;
  }
  int32_t p = 0;
  while (p < n) {
    const int32_t step = cp.CharLength(text + p);
    if (p + step > n) return p;
    if (step == 1 && p == n - 1 &&
        cp.IsLeadByte(static_cast<unsigned char>(text[p]))) {
      return p;  // a lead byte whose trail byte was cut off
    }
    p += step;
  }
  return n;
}

}  // namespace

// ---------------------------------------------------------------- storage

// The constructors and the operations that return the string cannot hand
// a failure on: when memory runs out they throw std::bad_alloc, as
// std::string does, and the string stays as it was; the run reports it
// (message 3). Code that must know without an exception calls SetText.
StrBuf::StrBuf() {
  Init();
  if (!SetText("")) throw std::bad_alloc();
}

StrBuf::StrBuf(const char* text) {
  Init();
  if (!SetText(text)) throw std::bad_alloc();
}

StrBuf::StrBuf(const StrBuf& other) {
  Init();
  if (!SetText(other.Text())) throw std::bad_alloc();
}

StrBuf::StrBuf(StrBuf&& other) noexcept : buffer_(other.buffer_) {
  other.buffer_ = nullptr;
}

StrBuf& StrBuf::operator=(const StrBuf& other) { return Assign(other); }

StrBuf& StrBuf::operator=(StrBuf&& other) noexcept {
  if (this != &other) {
    Free();
    buffer_ = other.buffer_;
    other.buffer_ = nullptr;
  }
  return *this;
}

StrBuf::~StrBuf() { Free(); }

void StrBuf::Init() { buffer_ = nullptr; }

void StrBuf::Free() {
  std::free(buffer_);
  buffer_ = nullptr;
}

bool StrBuf::Allocate(uint32_t n) {
  Free();
  if (n == 0) n = 1;  // room for the terminator at least
  buffer_ = static_cast<char*>(std::calloc(n, 1));
  return buffer_ != nullptr;
}

bool StrBuf::SetText(const char* text) {
  text = OrEmpty(text);
  const int32_t n = TextLength(text);
  // Built before the old buffer goes, so text may be this string's own.
  char* block = NewBlock(n);
  if (block == nullptr) return false;  // the text stays as it was
  std::memcpy(block, text, n);
  Free();
  buffer_ = block;
  return true;
}

bool StrBuf::AppendText(const char* text) {
  text = OrEmpty(text);
  const int32_t own = Length();
  const int32_t add = TextLength(text);
  char* block = NewBlock(static_cast<int64_t>(own) + add);
  if (block == nullptr) return false;  // the text stays as it was
  std::memcpy(block, Text(), own);
  std::memcpy(block + own, text, add);
  Free();
  buffer_ = block;
  return true;
}

void StrBuf::Compact() {
  char* block = NewBlock(Length());
  if (block == nullptr) return;
  std::memcpy(block, Text(), Length());
  Free();
  buffer_ = block;
}

const char* StrBuf::Text() const {
  return buffer_ != nullptr ? buffer_ : kEmptyText;
}

char* StrBuf::Buffer() {
  if (buffer_ == nullptr && !Allocate(1)) throw std::bad_alloc();
  return buffer_;
}

char StrBuf::CharAt(int32_t i) const {
  return (i >= 0 && i < Length()) ? Text()[i] : 0;
}

const char* StrBuf::PointerAt(int32_t i) const {
  const int32_t len = Length();
  if (i < 0) i = 0;
  if (i > len) i = len;
  return Text() + i;
}

StrBuf& StrBuf::Assign(const StrBuf& other) {
  if (this != &other && !SetText(other.Text())) throw std::bad_alloc();
  return *this;
}

StrBuf& StrBuf::Assign(const char* text) {
  if (!SetText(text)) throw std::bad_alloc();
  return *this;
}

StrBuf& StrBuf::Append(const StrBuf& other) {
  return Append(other.Text());
}

StrBuf& StrBuf::Append(const char* text) {
  if (!AppendText(text)) throw std::bad_alloc();
  return *this;
}

StrBuf StrBuf::Concat(const StrBuf& other) const {
  return Concat(other.Text());
}

StrBuf StrBuf::Concat(const char* text) const {
  StrBuf result(*this);
  result.Append(text);
  return result;
}

bool StrBuf::Equals(const StrBuf& other, const CodePage& cp) const {
  return Equals(other.Text(), cp);
}

bool StrBuf::Equals(const char* text, const CodePage& cp) const {
  text = OrEmpty(text);
  const int32_t n = Length();
  return TextLength(text) == n && SameFolded(Text(), text, n, cp);
}

bool StrBuf::NotEquals(const StrBuf& other, const CodePage& cp) const {
  return !Equals(other, cp);
}

bool StrBuf::NotEquals(const char* text, const CodePage& cp) const {
  return !Equals(text, cp);
}

int32_t StrBuf::Length() const { return TextLength(Text()); }

// ------------------------------------------------------------ byte ranges

StrBuf StrBuf::Extract(int32_t first, int32_t last) const {
  const int32_t len = Length();
  if (first < 0) first = 0;
  if (last > len - 1) last = len - 1;
  StrBuf result;
  if (last >= first) {
    const int32_t n = last - first + 1;
    char* block = NewBlock(n);
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, Text() + first, n);
    result.Free();
    result.buffer_ = block;
  }
  return result;
}

void StrBuf::ReplaceSpan(int32_t first, int32_t last, const char* text) {
  text = OrEmpty(text);
  const int32_t len = Length();
  // Head: bytes before first. Tail: bytes after last, never before first
  // (a range that ends before it starts inserts at first).
  int32_t head = first < 0 ? 0 : (first > len ? len : first);
  int32_t tail_start = last < head - 1 ? head : last + 1;
  if (tail_start > len) tail_start = len;
  const int32_t tail = len - tail_start;
  const int32_t add = TextLength(text);
  char* block = NewBlock(static_cast<int64_t>(head) + add + tail);
  if (block == nullptr) throw std::bad_alloc();  // the text stays as it was
  std::memcpy(block, Text(), head);
  std::memcpy(block + head, text, add);
  std::memcpy(block + head + add, Text() + tail_start, tail);
  Free();
  buffer_ = block;
}

// ------------------------------------------------------------------ words

namespace {

// Finds the next space at or after p (a character boundary), keeping the
// parity of the double quotes passed on the way in odd_quotes. Returns its
// position or -1.
int32_t NextSpace(const char* text, int32_t len, int32_t p, bool& odd_quotes,
                  const CodePage& cp) {
  while (p < len) {
    if (text[p] == '"') {
      odd_quotes = !odd_quotes;
    } else if (text[p] == ' ') {
      return p;
    }
    p += cp.CharLength(text + p);
  }
  return -1;
}

}  // namespace

int32_t StrBuf::WordCount(const CodePage& cp) const {
  const char* text = Text();
  const int32_t len = Length();
  if (len == 0) return 0;
  int32_t count = 1;
  bool odd_quotes = false;
  for (int32_t q = NextSpace(text, len, 0, odd_quotes, cp); q >= 0;
       q = NextSpace(text, len, q + 1, odd_quotes, cp)) {
    if (!odd_quotes) ++count;
  }
  return count;
}

bool StrBuf::WordRange(int32_t first, int32_t last, int32_t& from, int32_t& to,
                       const CodePage& cp) const {
  const StrBuf& s = *this;
  const char* text = s.Text();
  const int32_t len = s.Length();
  if (first < 0 || last < 0) {
    const int32_t n = s.WordCount(cp);
    if (n == 0) return false;
    if (first < 0) first += n;
    if (last < 0) last += n;
  }
  // Move past the separating spaces in front of word first.
  int32_t k = 0;
  int32_t p = 0;
  bool odd_quotes = false;
  while (k < first) {
    const int32_t q = NextSpace(text, len, p, odd_quotes, cp);
    if (q < 0) break;
    if (!odd_quotes) ++k;
    p = q + 1;
  }
  if (k != first) return false;
  int32_t begin = p;
  // Find the end of word last.
  bool have_end = false;
  bool stopped = false;
  int32_t end = -1;
  for (int32_t q = NextSpace(text, len, p, odd_quotes, cp); q >= 0;
       q = NextSpace(text, len, q + 1, odd_quotes, cp)) {
    if (k > last) {
      stopped = true;
      break;
    }
    if (k == last) {
      end = q - 1;
      have_end = true;
    }
    if (!odd_quotes) ++k;
  }
  if (!stopped && k <= last) {
    end = len - 1;
    have_end = true;
  }
  if (!have_end) return false;
  // A single quoted word loses its quotes.
  if (first == last && begin <= end && text[begin] == '"' && text[end] == '"') {
    ++begin;
    --end;
  }
  from = begin;
  to = end;
  return true;
}

StrBuf StrBuf::Word(int32_t n, const CodePage& cp) const {
  int32_t from = 0;
  int32_t to = 0;
  if (!WordRange(n, n, from, to, cp)) return StrBuf();
  return Extract(from, to);
}

// ----------------------------------------------------------------- fields

int32_t StrBuf::FieldCount(const char* separator, const CodePage& cp) const {
  const int32_t len = Length();
  if (len == 0) return 0;
  return 1 + CountOf(separator, cp);
}

namespace {

// The byte range of fields first to last of s; false when there is none.
bool FindFields(const StrBuf& s, int32_t first, int32_t last,
                const char* separator, int32_t& from, int32_t& to,
                const CodePage& cp) {
  const char* text = s.Text();
  const int32_t len = s.Length();
  const int32_t slen = TextLength(separator);
  if (first < 0 || last < 0) {
    const int32_t n = s.FieldCount(separator, cp);
    if (n == 0) return false;
    if (first < 0) first += n;
    if (last < 0) last += n;
  }
  bool have_begin = first == 0;
  int32_t begin = 0;
  int32_t end = len - 1;
  int32_t k = 0;
  for (int32_t q = cp.FindAtCharBoundary(text, len, 0, separator, slen); q >= 0;
       q = cp.FindAtCharBoundary(text, len, cp.CharBoundaryAfter(text, q, slen),
                                 separator, slen)) {
    if (k >= last) {
      end = q - 1;
      break;
    }
    if (!have_begin && k + 1 >= first) {
      begin = q + slen;
      have_begin = true;
    }
    ++k;
  }
  if (!have_begin) return false;
  from = begin;
  to = end;
  return true;
}

}  // namespace

StrBuf StrBuf::Field(int32_t n, const char* separator,
                     const CodePage& cp) const {
  return Fields(n, n, separator, cp);
}

StrBuf StrBuf::Fields(int32_t first, int32_t last, const char* separator,
                      const CodePage& cp) const {
  int32_t from = 0;
  int32_t to = 0;
  if (!FindFields(*this, first, last, separator, from, to, cp)) return StrBuf();
  return Extract(from, to);
}

void StrBuf::ReplaceField(int32_t n, const char* separator, const char* text,
                          const CodePage& cp) {
  ReplaceFields(n, n, separator, text, cp);
}

void StrBuf::ReplaceFields(int32_t first, int32_t last, const char* separator,
                           const char* text, const CodePage& cp) {
  int32_t from = 0;
  int32_t to = 0;
  if (FindFields(*this, first, last, separator, from, to, cp)) {
    ReplaceSpan(from, to, text);
  }
}

// ------------------------------------------------------ trim and replace

void StrBuf::Trim(const char* token, const CodePage& cp) {
  Trim(token, token, cp);
}

void StrBuf::Trim(const char* leading, const char* trailing,
                  const CodePage& cp) {
  const char* text = Text();
  const int32_t len = Length();
  const int32_t llen = TextLength(leading);
  const int32_t rlen = TextLength(trailing);
  int32_t s = 0;
  int32_t e = len - 1;
  if (llen > 0) {
    while (len - s >= llen && SameFolded(text + s, leading, llen, cp))
      s += llen;
  }
  if (rlen > 0) {
    // Byte-wise from the end: a trail byte equal to the token is taken.
    int32_t m = len - s;
    while (m >= rlen && SameFolded(text + e - rlen + 1, trailing, rlen, cp)) {
      e -= rlen;
      m -= rlen;
    }
  }
  if (s == 0 && e == len - 1) return;
  Assign(Extract(s, e));
}

bool StrBuf::ReplaceAll(const char* find, const char* replacement,
                        const CodePage& cp) {
  const char* text = Text();
  const int32_t len = Length();
  const int32_t flen = TextLength(find);
  const int32_t q = cp.FindAtCharBoundary(text, len, 0, find, flen);
  if (q < 0) return false;
  replacement = OrEmpty(replacement);
  const int32_t rlen = TextLength(replacement);
  // A replacement that holds the search text would be found again without
  // end: then every occurrence in the original text is replaced once.
  const bool holds_find =
      cp.FindAtCharBoundary(replacement, rlen, 0, find, flen) >= 0;
  HeapText result =
      holds_find
          ? ReplaceEach(text, len, q, find, flen, replacement, rlen, cp)
          : ReplaceRepeatedly(text, len, find, flen, replacement, rlen, cp);
  if (!result) throw std::bad_alloc();  // the text stays as it was
  Free();
  buffer_ = result.release();
  return true;
}

// ------------------------------------------------------------- formatting

void StrBuf::FormatList(const CodePage& cp, const char* format,
                        va_list arguments) {
  char area[kFormatArea];
  area[0] = 0;
  std::vsnprintf(area, sizeof area, OrEmpty(format), arguments);
  area[kFormatArea - 1] = 0;
  // A cut result must not end inside a character.
  const int32_t n = TextLength(area);
  if (n == kFormatArea - 1) area[CompleteLength(area, n, cp)] = 0;
  if (!SetText(area)) throw std::bad_alloc();
}

void StrBuf::Format(const CodePage& cp, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatList(cp, format, arguments);
  va_end(arguments);
}

// -------------------------------------------------- counting and numbers

int32_t StrBuf::CountOf(const char* text, const CodePage& cp) const {
  const char* own = Text();
  const int32_t len = Length();
  const int32_t tlen = TextLength(text);
  if (tlen == 0) return 0;
  int32_t count = 0;
  for (int32_t q = cp.FindAtCharBoundary(own, len, 0, text, tlen); q >= 0;
       q = cp.FindAtCharBoundary(own, len, cp.CharBoundaryAfter(own, q, tlen),
                                 text, tlen)) {
    ++count;
  }
  return count;
}

int32_t StrBuf::ToInt() const {
  const uint32_t value = ReadNumber(Text(), false);
  // Two's complement reading of the wrapped value, without overflow.
  return value <= static_cast<uint32_t>(INT32_MAX)
             ? static_cast<int32_t>(value)
             : static_cast<int32_t>(value - 0x80000000u) + INT32_MIN;
}

uint32_t StrBuf::ToHex() const { return ReadNumber(Text(), true); }

bool StrBuf::Contains(const char* text, const CodePage& cp) const {
  const int32_t tlen = TextLength(text);
  return tlen > 0 &&
         cp.FindAtCharBoundary(Text(), Length(), 0, text, tlen) >= 0;
}

bool StrBuf::StartsWith(const char* text, const CodePage& cp) const {
  const int32_t tlen = TextLength(text);
  return tlen == 0 ||
         cp.FindAtCharBoundary(Text(), Length(), 0, text, tlen) == 0;
}
