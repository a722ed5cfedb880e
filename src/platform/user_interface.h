// What the user sees: message boxes, the help, the progress display, and
// the program's own message texts.
#pragma once

#include <cstdint>
#include <memory>

// Message-box styles and answers (the Win32 values).
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconWarning = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbDefButton2 = 0x100;
constexpr unsigned kMbTypeMask = 0xF;
constexpr unsigned kMbIconMask = 0xF0;
constexpr unsigned kMbDefMask = 0xF00;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// A display of how far the run is, opened for one run and removed by its
// destructor: on a terminal one line redrawn in place, on Windows a small
// window with a bar, run by a thread of its own. The engine calls it from
// its one thread, a few times a second at most.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // The running procedure (ANSI), a line of detail (ASCII: the step, the
  // files or bytes done) and the bar, in thousandths.
  virtual void Show(const char* procedure, const char* detail,
                    uint32_t permille) = 0;
  // Takes away what is drawn until the next Show: text follows on the same
  // output (a prompt).
  virtual void Clear() = 0;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Loads message id of the program's string table into buffer (at most
  // size - 1 bytes, cut between characters, always terminated) in the ANSI
  // code page; returns the number of bytes, 0 when the id is unknown.
  virtual int LoadResourceString(uint32_t id, char* buffer, int size) = 0;

  // A warning for whoever started the program, one line of ANSI text
  // without its line end; the run goes on. Never a box: a warning comes
  // also from unattended runs. POSIX writes it to stderr; Windows to the
  // standard error the program was given, else to the console of the
  // program that started it, else to the debugger's output.
  virtual void Warn(const char* text) = 0;

  // A modal message box; returns kIdOk, kIdYes, kIdNo, kIdCancel, or 0 when
  // it could not be shown.
  virtual int ShowBox(const char* text, const char* caption,
                      unsigned style) = 0;

  // Shows the program's help text (ANSI) titled caption: a box with the
  // information icon and OK where the system has message boxes, and only
  // when boxAllowed; printed to standard output where it has none (POSIX),
  // also when not boxAllowed, since that is no window. Returns kIdOk, or 0
  // when a box could not be shown.
  virtual int ShowHelp(const char* text, const char* caption,
                       bool boxAllowed) {
    return boxAllowed ? ShowBox(text, caption, kMbIconInformation) : kIdOk;
  }

  // The progress display of this system, titled caption; null where there
  // is none to show (the POSIX build without a terminal on stderr).
  virtual std::unique_ptr<ProgressView> OpenProgress(const char* caption) {
    (void)caption;
    return nullptr;
  }
};
