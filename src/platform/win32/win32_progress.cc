// The progress window: a small window with the caption, the running
// procedure, a line of detail and a bar (the common controls' progress bar).
// It lives on a thread of its own with its own message loop, so it is drawn
// and moved while the engine's thread copies or waits in a message box. The
// engine's thread only stores what to show; the window takes it on a timer.
// It never takes the focus, owns no message box, appears only once the run
// has worked for half a second, and is destroyed, its thread joined, before
// the view's destructor returns.
#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_raii.h"

#include <commctrl.h>

#include <string>

namespace {

// The class name by which tests find the window.
constexpr char kClassName[] = "UpdaterProgressWindow";
constexpr UINT kStopMessage = WM_APP + 1;
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED (Windows 8.1 and later)
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 100;
constexpr DWORD kShowAfterMs = 500;
constexpr int kBarRange = 1000;

// The layout at 96 dots per inch, scaled to the window's.
constexpr int kClientWidth = 380;
constexpr int kMargin = 12;
constexpr int kLineHeight = 20;
constexpr int kBarHeight = 18;
constexpr int kGap = 6;

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&section_); }
  ~CriticalSection() { DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { EnterCriticalSection(&section_); }
  void Leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class Locked {
 public:
  explicit Locked(CriticalSection& section) : section_(section) {
    section_.Enter();
  }
  ~Locked() { section_.Leave(); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CriticalSection& section_;
};

// A GDI font, deleted once.
class ScopedFont {
 public:
  ScopedFont() = default;
  ~ScopedFont() { Reset(); }
  ScopedFont(const ScopedFont&) = delete;
  ScopedFont& operator=(const ScopedFont&) = delete;
  HFONT Get() const { return font_; }
  void Reset(HFONT font = nullptr) {
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
  }

 private:
  HFONT font_ = nullptr;
};

// The dots per inch of the screen, as the system was started with.
UINT SystemDpi() {
  UINT dpi = 96;
  if (HDC screen = GetDC(nullptr)) {
    const int value = GetDeviceCaps(screen, LOGPIXELSX);
    if (value > 0) dpi = static_cast<UINT>(value);
    (void)ReleaseDC(nullptr, screen);  // nothing to do where it fails
  }
  return dpi;
}

// The dots per inch of the monitor a window is on (Windows 10 1607 and
// later), or of the screen.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const GetDpiForWindowFn getDpi = ProcAddress<GetDpiForWindowFn>(
      GetModuleHandleA("user32.dll"), "GetDpiForWindow");
  if (getDpi != nullptr) {
    const UINT dpi = getDpi(window);
    if (dpi > 0) return dpi;
  }
  return SystemDpi();
}

class ProgressWindow : public ProgressView {
 public:
  explicit ProgressWindow(const char* caption)
      : caption_(caption != nullptr ? caption : ""),
        ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!ready_.Valid()) return;
    DWORD id = 0;
    thread_.Reset(CreateThread(nullptr, 0, ThreadMain, this, 0, &id));
  }

  ~ProgressWindow() override {
    if (!thread_.Valid()) return;
    // The waits fail only on a handle that is not a valid one: both are.
    (void)WaitForSingleObject(ready_.Get(), INFINITE);
    // A message that cannot be posted (a full queue) is posted again: the
    // window thread must end before the window's data goes.
    while (window_ != nullptr && !PostMessageA(window_, kStopMessage, 0, 0) &&
           IsWindow(window_))
      Sleep(10);
    (void)WaitForSingleObject(thread_.Get(), INFINITE);
  }

  void Show(const char* procedure, const char* detail,
            uint32_t permille) override {
    Locked locked(section_);
    procedure_ = procedure != nullptr ? procedure : "";
    detail_ = detail != nullptr ? detail : "";
    permille_ = permille > static_cast<uint32_t>(kBarRange)
                    ? static_cast<uint32_t>(kBarRange)
                    : permille;
    changed_ = true;
  }

  // A window is not in the way of a prompt: nothing to take away.
  void Clear() override {}

 private:
  static DWORD WINAPI ThreadMain(LPVOID self) {
    static_cast<ProgressWindow*>(self)->Run();
    return 0;
  }

  // The window thread: makes the window, runs its message loop until the
  // window is destroyed, and leaves nothing behind.
  void Run() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    // Without the class the window shows its texts without a bar.
    (void)InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    const bool registered = RegisterClassExA(&windowClass) != 0;
    started_ = GetTickCount();
    // A popup with a title bar and no system menu: nothing to close it by.
    HWND window = CreateWindowExA(WS_EX_NOACTIVATE, kClassName,
                                  caption_.c_str(), WS_POPUP | WS_CAPTION, 0,
                                  0, kClientWidth, 100, nullptr, nullptr,
                                  instance, this);
    window_ = window;
    // Fails only on a handle that is not an event's: ready_ is one.
    (void)SetEvent(ready_.Get());
    if (window != nullptr) {
      MSG message;
      // What these return tells nothing of a failure.
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        (void)TranslateMessage(&message);
        (void)DispatchMessageA(&message);
      }
    }
    font_.Reset();  // the controls that used it are gone
    // A class that stays registered goes with the process.
    if (registered) (void)UnregisterClassA(kClassName, instance);
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      // Where it fails, the window is left to the default handling below
      // (self stays null), and Refresh never runs.
      (void)SetWindowLongPtrA(
          window, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ProgressWindow*>(
        GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
      case WM_CREATE:
        self->Create(window);
        return 0;
      case WM_TIMER:
        self->Refresh(window);
        return 0;
      case kDpiChanged: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        self->Layout(window, LOWORD(wParam), suggested);
        return 0;
      }
      case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
      case WM_CLOSE:
        return 0;  // it goes when the run ends
      case kStopMessage:
        // Fails only for a window of another thread: this one is ours.
        (void)DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        (void)KillTimer(window, kTimerId);  // the timer goes with the window
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  void Create(HWND window) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const DWORD label = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP |
                        SS_ENDELLIPSIS | SS_NOPREFIX;
    nameLabel_ = CreateWindowExA(0, "STATIC", "", label, 0, 0, 0, 0, window,
                            nullptr, instance, nullptr);
    detailLabel_ = CreateWindowExA(0, "STATIC", "", label, 0, 0, 0, 0,
                                   window, nullptr, instance, nullptr);
    bar_ = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0,
                           0, 0, window, nullptr, instance, nullptr);
    // The display calls below return no failure worth acting on: a
    // control that could not be made, sized or set shows less, and the
    // run goes on. Without the timer the window never shows.
    (void)SendMessageA(bar_, PBM_SETRANGE32, 0, kBarRange);
    Layout(window, WindowDpi(window), nullptr);
    (void)SetTimer(window, kTimerId, kTimerMs, nullptr);
  }

  // Sizes, places and gives a font to everything for dpi dots per inch;
  // centred on the work area, or where the system suggests after a change
  // of monitor. A call that fails leaves a control as it was (the work
  // area: the whole screen); nothing more can be done for a display.
  void Layout(HWND window, UINT dpi, const RECT* suggested) {
    if (dpi == 0) dpi = 96;
    auto scale = [dpi](int value) {
      return MulDiv(value, static_cast<int>(dpi), 96);
    };
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics,
                              &metrics, 0)) {
      LOGFONTA font = metrics.lfMessageFont;
      font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi),
                             static_cast<int>(SystemDpi()));
      HFONT created = CreateFontIndirectA(&font);
      if (created != nullptr) {
        for (HWND control : {nameLabel_, detailLabel_})
          (void)SendMessageA(control, WM_SETFONT,
                             reinterpret_cast<WPARAM>(created), TRUE);
        font_.Reset(created);  // after the controls let go of the old one
      }
    }
    const int width = scale(kClientWidth);
    const int inner = width - 2 * scale(kMargin);
    int y = scale(kMargin);
    (void)MoveWindow(nameLabel_, scale(kMargin), y, inner, scale(kLineHeight),
                     TRUE);
    y += scale(kLineHeight);
    (void)MoveWindow(detailLabel_, scale(kMargin), y, inner,
                     scale(kLineHeight), TRUE);
    y += scale(kLineHeight) + scale(kGap);
    (void)MoveWindow(bar_, scale(kMargin), y, inner, scale(kBarHeight), TRUE);
    y += scale(kBarHeight) + scale(kMargin);

    RECT frame = {0, 0, width, y};
    (void)AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION, FALSE,
                             WS_EX_NOACTIVATE);
    const int outerWidth = frame.right - frame.left;
    const int outerHeight = frame.bottom - frame.top;
    int x = 0;
    int top = 0;
    if (suggested != nullptr) {
      x = suggested->left;
      top = suggested->top;
    } else {
      RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN),
                   GetSystemMetrics(SM_CYSCREEN)};
      (void)SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
      x = work.left + (work.right - work.left - outerWidth) / 2;
      top = work.top + (work.bottom - work.top - outerHeight) / 2;
    }
    (void)SetWindowPos(window, nullptr, x, top, outerWidth, outerHeight,
                       SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // Takes what the engine stored, and shows the window once the run has
  // worked for half a second.
  void Refresh(HWND window) {
    std::string procedure, detail;
    uint32_t permille = 0;
    bool changed = false;
    {
      Locked locked(section_);
      if (changed_) {
        procedure = procedure_;
        detail = detail_;
        permille = permille_;
        changed_ = false;
        changed = true;
      }
    }
    // A text that cannot be set stays as it was until the next tick.
    if (changed) {
      (void)SetWindowTextA(nameLabel_, procedure.c_str());
      (void)SetWindowTextA(detailLabel_, detail.c_str());
      (void)SendMessageA(bar_, PBM_SETPOS, permille, 0);
    }
    if (!shown_ && GetTickCount() - started_ >= kShowAfterMs) {
      // Returns whether it was visible before, no failure.
      (void)ShowWindow(window, SW_SHOWNOACTIVATE);
      shown_ = true;
    }
  }

  const std::string caption_;
  ScopedHandle ready_;   // set once the window exists, or could not be made
  ScopedHandle thread_;
  HWND window_ = nullptr;  // written by the window thread before ready_

  // What the engine's thread stores for the window's.
  CriticalSection section_;
  std::string procedure_;
  std::string detail_;
  uint32_t permille_ = 0;
  bool changed_ = false;

  // The window thread's own.
  HWND nameLabel_ = nullptr;
  HWND detailLabel_ = nullptr;
  HWND bar_ = nullptr;
  ScopedFont font_;
  DWORD started_ = 0;
  bool shown_ = false;
};

}  // namespace

std::unique_ptr<ProgressView> Win32Platform::OpenProgress(const char* caption) {
  return std::make_unique<ProgressWindow>(caption);
}
