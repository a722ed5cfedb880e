// How far the run is, for PROGRESS=1: the running procedure, its step in
// its list, and the files or bytes it has done. The engine reports through
// this one object of the Runtime. The start of a procedure is drawn at once;
// the counts within one are drawn on the platform's ProgressView at most
// every kRedrawInterval, so a report costs a counter and a clock read, and
// nothing at all when no view is open. The words of the detail line come
// from the string table.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

class Progress {
 public:
  enum class Unit { kSteps, kFiles, kBytes };

  static constexpr std::chrono::milliseconds kRedrawInterval{100};
  // With no total known, a count of files fills half the procedure's share
  // of the bar at this many files, three quarters at three times as many.
  static constexpr uint64_t kHalfwayFiles = 1000;

  Progress() = default;
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Opens the view of the platform; without one every report is a no-op.
  // Texts are cut by the rules of cp, which must outlive the view.
  void Open(Platform& platform, const CodePage& cp, const char* caption);
  // Removes the view (the line erased, the window gone).
  void Close();
  bool IsOn() const { return view_ != nullptr; }

  // A procedure starts: step (from 0) of the steps of its list. A Begin
  // while a procedure runs starts a list of its own (SWITCH), whose steps
  // share out the running procedure's part of the bar.
  void Begin(const char* procedure, int32_t step, int32_t steps);
  // What the running procedure counts from now on, and its total when it is
  // already known (0: none); the count starts again from 0.
  void Measure(Unit unit, uint64_t total);
  void Advance(uint64_t units) {
    if (view_ == nullptr) return;
    done_ += units;
    MaybeDraw();
  }
  // The running (innermost) procedure ended.
  void End();
  // Before a prompt on the same output: what is drawn is taken away.
  void Pause();

  // The procedure, the detail line and the bar of the present state (also
  // for the tests). The bar is full only when the last step has ended.
  std::string Procedure() const;
  std::string Detail() const;
  uint32_t Permille() const;

 private:
  // One list's procedure: running, or ended (then step is the next one).
  struct Frame {
    std::string procedure;
    int32_t step;
    int32_t steps;
    bool running;
  };
  void MaybeDraw();
  static constexpr int64_t Interval() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(kRedrawInterval)
        .count();
  }
  int64_t Now() const { return platform_->system().SteadyClock(); }
  void Draw();
  const Frame* Shown() const;
  std::string Text(uint32_t id, const std::string& a,
                   const std::string& b = std::string()) const;
  std::string Bytes(uint64_t bytes) const;

  Platform* platform_ = nullptr;
  const CodePage* codePage_ = nullptr;
  std::unique_ptr<ProgressView> view_;
  int64_t lastDraw_ = 0;  // the steady clock (ns) of the last drawing
  // The lists in progress, outermost first; the top may be an ended one.
  std::vector<Frame> frames_;
  Unit unit_ = Unit::kSteps;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
};
