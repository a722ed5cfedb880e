#include "run/progress.h"

#include <cstdio>

#include "base/str_buf.h"

namespace {

// The words of the detail line in the string table; each takes %s
// arguments only (numbers are formatted here).
constexpr uint32_t kMsgStep = 200;           // step, steps
constexpr uint32_t kMsgOneFile = 201;        // count (1)
constexpr uint32_t kMsgFiles = 202;          // count
constexpr uint32_t kMsgFilesOfTotal = 203;   // count, total
constexpr uint32_t kMsgBytes = 204;          // count (below 1 KiB)
constexpr uint32_t kMsgBytesOfTotal = 205;   // amount, total amount
constexpr uint32_t kMsgDetailJoin = 206;     // step part, count part

std::string Number(uint64_t value) {
  return std::to_string(static_cast<unsigned long long>(value));
}

}  // namespace

std::string Progress::Text(uint32_t id, const std::string& a,
                           const std::string& b) const {
  char format[128];
  if (platform_ == nullptr ||
      platform_->ui().LoadResourceString(id, format, sizeof format) <= 0)
    return a;
  format[sizeof format - 1] = 0;
  StrBuf text;
  text.Format(*codePage_, format, a.c_str(), b.c_str());
  return text.Text();
}

// A number of bytes in the largest unit that keeps it at 1 or more.
std::string Progress::Bytes(uint64_t bytes) const {
  static const char* const kUnits[] = {"", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024.0;
    ++unit;
  }
  if (unit == 0) return Text(kMsgBytes, Number(bytes));
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

void Progress::Open(Platform& platform, const CodePage& cp,
                    const char* caption) {
  platform_ = &platform;
  codePage_ = &cp;
  view_ = platform.ui().OpenProgress(caption);
  frames_.clear();
  lastDraw_ = Now();
}

void Progress::Close() { view_.reset(); }

void Progress::Begin(const char* procedure, int32_t step, int32_t steps) {
  if (view_ == nullptr) return;
  // The ended procedure of this list gives way to the next one.
  if (!frames_.empty() && !frames_.back().running) frames_.pop_back();
  frames_.push_back({procedure != nullptr ? procedure : "", step, steps, true});
  unit_ = Unit::kSteps;
  done_ = 0;
  total_ = 0;
  // The start of a procedure is never held back: a long wait shows its own
  // name from its first moment.
  lastDraw_ = Now();
  Draw();
}

void Progress::Measure(Unit unit, uint64_t total) {
  if (view_ == nullptr) return;
  unit_ = unit;
  done_ = 0;
  total_ = total;
  MaybeDraw();
}

void Progress::End() {
  if (view_ == nullptr || frames_.empty()) return;
  // A list run by this procedure has ended with it.
  if (!frames_.back().running && frames_.size() > 1) frames_.pop_back();
  Frame& frame = frames_.back();
  if (frame.running) {
    frame.running = false;
    ++frame.step;
  }
  unit_ = Unit::kSteps;
  done_ = 0;
  total_ = 0;
  MaybeDraw();
}

void Progress::Pause() {
  if (view_ == nullptr) return;
  view_->Clear();
  // Drawn again at the next report after the prompt.
  lastDraw_ = Now() - Interval();
}

// The innermost running procedure, or the one that ended last when none
// runs.
const Progress::Frame* Progress::Shown() const {
  for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame)
    if (frame->running) return &*frame;
  return frames_.empty() ? nullptr : &frames_.back();
}

std::string Progress::Procedure() const {
  const Frame* frame = Shown();
  return frame != nullptr ? frame->procedure : std::string();
}

std::string Progress::Detail() const {
  const Frame* frame = Shown();
  if (frame == nullptr) return std::string();
  std::string detail;
  if (frame->steps > 1) {
    const int32_t shown =
        frame->step < frame->steps ? frame->step + 1 : frame->steps;
    detail = Text(kMsgStep, Number(static_cast<uint64_t>(shown)),
                  Number(static_cast<uint64_t>(frame->steps)));
  }
  std::string count;
  if (frame == &frames_.back() && frame->running) {
    if (unit_ == Unit::kFiles) {
      if (total_ > 0)
        count = Text(kMsgFilesOfTotal, Number(done_), Number(total_));
      else
        count = Text(done_ == 1 ? kMsgOneFile : kMsgFiles, Number(done_));
    } else if (unit_ == Unit::kBytes) {
      count = Bytes(done_);
      if (total_ > 0) count = Text(kMsgBytesOfTotal, count, Bytes(total_));
    }
  }
  if (detail.empty()) return count;
  if (count.empty()) return detail;
  return Text(kMsgDetailJoin, detail, count);
}

uint32_t Progress::Permille() const {
  if (frames_.empty()) return 0;
  // From the innermost list outwards: the part of each list that is done,
  // which is the part done of the procedure that runs that list.
  double part = 0.0;
  const Frame& top = frames_.back();
  if (top.running && unit_ != Unit::kSteps) {
    if (total_ > 0)
      part = done_ >= total_ ? 1.0
                             : static_cast<double>(done_) /
                                   static_cast<double>(total_);
    else
      part = static_cast<double>(done_) /
             static_cast<double>(done_ + kHalfwayFiles);
  }
  bool running = false;
  for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame) {
    running = running || frame->running;
    if (frame->steps > 0)
      part = (static_cast<double>(frame->step) + part) / frame->steps;
    if (part > 1.0) part = 1.0;
  }
  uint32_t permille = static_cast<uint32_t>(part * 1000.0);
  // Full only once the last step has ended.
  if (running && permille > 999) permille = 999;
  return permille;
}

void Progress::MaybeDraw() {
  const int64_t now = Now();
  if (now - lastDraw_ < Interval()) return;
  lastDraw_ = now;
  Draw();
}

void Progress::Draw() {
  view_->Show(Procedure().c_str(), Detail().c_str(), Permille());
}
