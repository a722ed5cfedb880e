#include "run/progress.h"

#include <cstdio>

namespace {

// A number of bytes in the largest unit that keeps it at 1 or more.
std::string Bytes(uint64_t bytes) {
  static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  size_t unit = 0;
  while (value >= 1024.0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024.0;
    ++unit;
  }
  char text[48];
  if (unit == 0)
    std::snprintf(text, sizeof text, "%llu bytes",
                  static_cast<unsigned long long>(bytes));
  else
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

}  // namespace

void Progress::Open(Platform& platform, const char* caption) {
  view_ = platform.OpenProgress(caption);
  // The first drawing waits one interval: a run that ends at once shows
  // nothing.
  lastDraw_ = std::chrono::steady_clock::now();
}

void Progress::Close() { view_.reset(); }

void Progress::Begin(const char* procedure, int32_t step, int32_t steps) {
  if (view_ == nullptr) return;
  procedure_ = procedure != nullptr ? procedure : "";
  step_ = step;
  steps_ = steps;
  unit_ = Unit::kSteps;
  done_ = 0;
  total_ = 0;
  MaybeDraw();
}

void Progress::Measure(Unit unit, uint64_t total) {
  if (view_ == nullptr) return;
  unit_ = unit;
  done_ = 0;
  total_ = total;
  MaybeDraw();
}

void Progress::End() {
  if (view_ == nullptr) return;
  unit_ = Unit::kSteps;
  done_ = 0;
  total_ = 0;
  ++step_;  // this step is done
  MaybeDraw();
}

void Progress::Pause() {
  if (view_ == nullptr) return;
  view_->Clear();
  // Drawn again at the next report after the prompt.
  lastDraw_ = std::chrono::steady_clock::now() - kRedrawInterval;
}

std::string Progress::Detail() const {
  std::string detail;
  if (steps_ > 1) {
    const int32_t shown = step_ < steps_ ? step_ + 1 : steps_;
    detail = "step " + std::to_string(shown) + " of " + std::to_string(steps_);
  }
  std::string count;
  if (unit_ == Unit::kFiles) {
    count = std::to_string(done_) + (done_ == 1 ? " file" : " files");
    if (total_ > 0) count += " of " + std::to_string(total_);
  } else if (unit_ == Unit::kBytes) {
    count = Bytes(done_);
    if (total_ > 0) count += " of " + Bytes(total_);
  }
  if (!count.empty()) detail += (detail.empty() ? "" : ", ") + count;
  return detail;
}

uint32_t Progress::Permille() const {
  // The part of the running procedure that is done, from 0 to 1.
  double part = 0.0;
  if (unit_ != Unit::kSteps) {
    if (total_ > 0)
      part = done_ >= total_ ? 1.0
                             : static_cast<double>(done_) /
                                   static_cast<double>(total_);
    else
      part = static_cast<double>(done_) /
             static_cast<double>(done_ + kHalfwayFiles);
  }
  if (steps_ <= 0) return static_cast<uint32_t>(part * 1000.0);
  double whole = (static_cast<double>(step_) + part) / steps_;
  if (whole > 1.0) whole = 1.0;
  return static_cast<uint32_t>(whole * 1000.0);
}

void Progress::MaybeDraw() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  Draw();
}

void Progress::Draw() {
  view_->Show(procedure_.c_str(), Detail().c_str(), Permille());
}
