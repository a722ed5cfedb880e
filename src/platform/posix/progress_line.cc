#include "platform/posix/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <utility>

#include "base/code_page.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/unique_fd.h"

namespace {

constexpr size_t kBarWidth = 20;
constexpr size_t kDefaultColumns = 80;
const char kEraseToEnd[] = "\x1b[K";

// Length in bytes of the character at text[i], and its width in columns.
void Character(const std::string& text, size_t i, bool utf8, size_t& bytes,
               size_t& columns) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (utf8) {
    bytes = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    columns = bytes >= 3 ? 2 : 1;
  } else {
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    bytes = lead ? 2 : 1;
    columns = bytes;
  }
  if (i + bytes > text.size()) bytes = text.size() - i;  // a cut sequence
}

class TerminalLine : public ProgressView {
 public:
  TerminalLine(int fd, std::string caption, bool utf8, ToLocalText toLocal)
      : fd_(fd), caption_(std::move(caption)), utf8_(utf8),
        toLocal_(std::move(toLocal)) {}
  ~TerminalLine() override { Clear(); }

  void Show(const char* procedure, const char* detail,
            uint32_t permille) override {
    if (permille > 1000) permille = 1000;
    const size_t filled = permille * kBarWidth / 1000;
    std::string line = caption_;
    if (!line.empty()) line += ": ";
    line += toLocal_(procedure != nullptr ? procedure : "");
    line += " [" + std::string(filled, '#') +
            std::string(kBarWidth - filled, '-') + "]";
    if (detail != nullptr && detail[0] != 0) line += " " + toLocal_(detail);
    // The last column is left free: a terminal that wraps there would start
    // a new line, and the next "\r" would no longer reach this one.
    struct winsize size {};
    size_t columns = kDefaultColumns;
    if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
      columns = size.ws_col;
    line = CutToColumns(line, columns - 1, utf8_);
    if (drawn_ && line == shown_) return;
    const std::string text = "\r" + line + kEraseToEnd;
    if (WriteAll(fd_, text.data(), text.size())) {
      drawn_ = true;
      shown_ = line;
    }
  }

  void Clear() override {
    if (!drawn_) return;
    const std::string text = std::string("\r") + kEraseToEnd;
    // A terminal that takes no more leaves the line as it is: nothing
    // else can be done, and the line is not the run's result.
    (void)WriteAll(fd_, text.data(), text.size());
    drawn_ = false;
    shown_.clear();
  }

 private:
  int fd_;
  std::string caption_;
  bool utf8_;
  ToLocalText toLocal_;
  bool drawn_ = false;
  std::string shown_;
};

}  // namespace

std::string CutToColumns(const std::string& text, size_t columns, bool utf8) {
  size_t used = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t bytes = 1, width = 1;
    Character(text, i, utf8, bytes, width);
    if (used + width > columns) break;
    used += width;
    i += bytes;
  }
  return text.substr(0, i);
}

std::unique_ptr<ProgressView> OpenTerminalLine(int fd,
                                               const std::string& caption,
                                               bool utf8, ToLocalText toLocal) {
  return std::make_unique<TerminalLine>(fd, caption, utf8, std::move(toLocal));
}

std::unique_ptr<ProgressView> PosixPlatform::OpenProgress(const char* caption) {
  // Without a terminal nothing is drawn, and nothing more is asked of the
  // system for the rest of the run.
  if (!isatty(STDERR_FILENO)) return nullptr;
  return OpenTerminalLine(STDERR_FILENO,
                          AnsiToLocal(caption != nullptr ? caption : ""),
                          localCodePage_ == kCodePageUtf8,
                          [this](const char* text) { return AnsiToLocal(text); });
}
