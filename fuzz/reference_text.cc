#include "reference_text.h"

#include <climits>
#include <cstring>

#include "base/code_page.h"

namespace {

constexpr int32_t kMaxText = INT32_MAX - 1;

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

int32_t TextLength(const char* text) {
  const size_t n = std::strlen(OrEmpty(text));
  return n > static_cast<size_t>(kMaxText) ? kMaxText : static_cast<int32_t>(n);
}

// Steps of a block scan: the next opening or closing delimiter. The next
// occurrence of each delimiter is remembered while the scan has not passed
// it, so a scan costs one pass over the text per delimiter.
class BlockScanner {
 public:
  enum Step { kNone, kOpen, kClose };

  BlockScanner(const char* text, int32_t len, const char* open,
               const char* close, const CodePage& cp)
      : cp_(cp),
        text_(text),
        len_(len),
        open_(open),
        close_(close),
        open_len_(TextLength(open)),
        close_len_(TextLength(close)) {}

  bool Usable() const { return open_len_ > 0 && close_len_ > 0; }

  // Takes the next step; at() is then the delimiter's position and pos()
  // the boundary after it.
  Step Next() {
    if (next_open_ != -1 && next_open_ < pos_) {
      next_open_ = cp_.FindAtCharBoundary(text_, len_, pos_, open_, open_len_);
    }
    if (next_close_ != -1 && next_close_ < pos_) {
      next_close_ =
          cp_.FindAtCharBoundary(text_, len_, pos_, close_, close_len_);
    }
    if (next_open_ >= 0 && next_close_ >= 0 && next_open_ < next_close_) {
      at_ = next_open_;
      pos_ = cp_.CharBoundaryAfter(text_, at_, open_len_);
      return kOpen;
    }
    if (next_close_ >= 0) {
      at_ = next_close_;
      pos_ = cp_.CharBoundaryAfter(text_, at_, close_len_);
      return kClose;
    }
    return kNone;
  }

  int32_t at() const { return at_; }
  int32_t pos() const { return pos_; }
  int32_t open_len() const { return open_len_; }
  int32_t close_len() const { return close_len_; }

 private:
  const CodePage& cp_;
  const char* text_;
  int32_t len_;
  const char* open_;
  const char* close_;
  int32_t open_len_;
  int32_t close_len_;
  int32_t pos_ = 0;
  int32_t at_ = -1;
  // -2: not searched yet (less than any position); -1: none left.
  int32_t next_open_ = -2;
  int32_t next_close_ = -2;
};

}  // namespace

namespace reference {

void ReplaceSpan(StrBuf& text, int32_t first, int32_t last, const char* with) {
  const int32_t len = text.Length();
  // Head: bytes before first. Tail: bytes after last, never before first.
  const int32_t head = first < 0 ? 0 : (first > len ? len : first);
  int32_t tailStart = last < head - 1 ? head : last + 1;
  if (tailStart > len) tailStart = len;
  StrBuf result = text.Extract(0, head - 1);
  result.Append(OrEmpty(with)).Append(text.Extract(tailStart, len - 1));
  text = result;
}

StrBuf Substring(const StrBuf& text, int32_t i) {
  return Substring(text, i, i);
}

StrBuf Substring(const StrBuf& text, int32_t first, int32_t last) {
  if (first < 0 || last < 0) {
    const int32_t len = text.Length();
    if (len == 0) return StrBuf();
    if (first < 0) first += len;
    if (last < 0) last += len;
  }
  return text.Extract(first, last);
}

void ReplaceChars(StrBuf& text, int32_t i, const char* with) {
  ReplaceChars(text, i, i, with);
}

void ReplaceChars(StrBuf& text, int32_t first, int32_t last,
                  const char* with) {
  if (first < 0 || last < 0) {
    const int32_t len = text.Length();
    if (len == 0) return;
    if (first < 0) first += len;
    if (last < 0) last += len;
  }
  ReplaceSpan(text, first, last, with);
}

StrBuf Words(const StrBuf& text, int32_t first, int32_t last,
             const CodePage& cp) {
  int32_t from = 0;
  int32_t to = 0;
  if (!text.WordRange(first, last, from, to, cp)) return StrBuf();
  return text.Extract(from, to);
}

void ReplaceWord(StrBuf& text, int32_t n, const char* with,
                 const CodePage& cp) {
  ReplaceWords(text, n, n, with, cp);
}

void ReplaceWords(StrBuf& text, int32_t first, int32_t last, const char* with,
                  const CodePage& cp) {
  int32_t from = 0;
  int32_t to = 0;
  if (text.WordRange(first, last, from, to, cp))
    ReplaceSpan(text, from, to, with);
}

int32_t BlockCount(const StrBuf& s, const char* open, const char* close,
                   const CodePage& cp) {
  BlockScanner scan(s.Text(), s.Length(), open, close, cp);
  if (!scan.Usable()) return 0;
  // The depth is never reset: a closing delimiter without an opening one
  // before it keeps every later block from counting.
  int32_t depth = 0;
  int32_t count = 0;
  for (BlockScanner::Step step = scan.Next(); step != BlockScanner::kNone;
       step = scan.Next()) {
    if (step == BlockScanner::kOpen) {
      ++depth;
    } else if (--depth == 0) {
      ++count;
    }
  }
  return count;
}

bool FindBlocks(const StrBuf& s, int32_t first, int32_t last, const char* open,
                const char* close, int32_t& from, int32_t& to,
                const CodePage& cp) {
  BlockScanner scan(s.Text(), s.Length(), open, close, cp);
  if (!scan.Usable()) return false;
  if (first < 0 || last < 0) {
    const int32_t n = BlockCount(s, open, close, cp);
    if (n == 0) return false;
    if (first < 0) first += n;
    if (last < 0) last += n;
  }
  bool have_begin = false;
  int32_t begin = 0;
  int32_t depth = 0;
  if (last >= 0) {
    // Phase one: up to the opening delimiter of block last + 1 at most.
    int32_t k = 0;
    while (k <= last) {
      const BlockScanner::Step step = scan.Next();
      if (step == BlockScanner::kNone) break;
      if (step == BlockScanner::kOpen) {
        if (depth == 0) ++k;
        ++depth;
        if (!have_begin && k > first) {
          // The delimiter's own position: a delimiter that ends inside a
          // character is followed by a boundary further on.
          begin = scan.at();
          have_begin = true;
        }
      } else {
        --depth;
      }
    }
  }
  // Phase two: on to the close of the block that is open now.
  bool have_end = false;
  int32_t end = 0;
  for (BlockScanner::Step step = scan.Next(); step != BlockScanner::kNone;
       step = scan.Next()) {
    if (step == BlockScanner::kOpen) {
      ++depth;
    } else if (--depth == 0) {
      end = scan.at() - 1;
      have_end = true;
      break;
    }
  }
  if (!have_begin) return false;
  from = begin;
  to = have_end ? end + scan.close_len() : s.Length() - 1;
  return true;
}

StrBuf Block(const StrBuf& text, int32_t n, const char* open, const char* close,
             const CodePage& cp) {
  return Blocks(text, n, n, open, close, cp);
}

StrBuf Blocks(const StrBuf& text, int32_t first, int32_t last, const char* open,
              const char* close, const CodePage& cp) {
  int32_t from = 0;
  int32_t to = 0;
  if (!FindBlocks(text, first, last, open, close, from, to, cp))
    return StrBuf();
  return text.Extract(from, to);
}

void ReplaceBlock(StrBuf& text, int32_t n, const char* open, const char* close,
                  const char* with, const CodePage& cp) {
  ReplaceBlocks(text, n, n, open, close, with, cp);
}

void ReplaceBlocks(StrBuf& text, int32_t first, int32_t last, const char* open,
                   const char* close, const char* with, const CodePage& cp) {
  int32_t from = 0;
  int32_t to = 0;
  if (FindBlocks(text, first, last, open, close, from, to, cp))
    ReplaceSpan(text, from, to, with);
}

}  // namespace reference
