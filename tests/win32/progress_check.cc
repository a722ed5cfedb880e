// The progress window of updater.exe, seen from outside as a user's desktop
// sees it. Starts the updater of the work directory (whose settings file asks
// for PROGRESS=1 and copies many files), finds its window by class name,
// reads the bar twice and sees it advance; then, while the window is still
// up, the run shows a message box: the box must be the active window, have
// no owner, and take the user's answer. After the run no window is left.
// Prints one line per failed check and "N passed, N failed".
//
//   progress_check.exe WORK_DIR CAPTION
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr char kClassName[] = "UpdaterProgressWindow";

int passed = 0;
int failed = 0;

void Check(const char* what, bool ok, const std::string& detail = "") {
  if (ok) {
    ++passed;
    return;
  }
  ++failed;
  std::printf("FAIL: %s%s%s\n", what, detail.empty() ? "" : ": ",
              detail.c_str());
}

// A message to a window of another process, never waiting on it forever.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                           5000, &result))
    return -1;
  return static_cast<LRESULT>(result);
}

std::string Text(HWND window) {
  char text[256] = {};
  Ask(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  text[sizeof text - 1] = 0;
  return text;
}

bool Running(HANDLE process) {
  return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: progress_check WORK_DIR CAPTION\n0 passed, 1 failed\n");
    return 1;
  }
  const std::string work = argv[1];
  const std::string caption = argv[2];
  std::string commandLine = "\"" + work + "\\updater.exe\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                      nullptr, work.c_str(), &startup, &info)) {
    std::printf("FAIL: cannot start %s\n0 passed, 1 failed\n",
                commandLine.c_str());
    return 1;
  }
  const DWORD start = GetTickCount();

  // The window, once it is shown.
  HWND window = nullptr;
  while (Running(info.hProcess) && GetTickCount() - start < 60000) {
    window = FindWindowA(kClassName, nullptr);
    if (window != nullptr && IsWindowVisible(window)) break;
    Sleep(20);
  }
  const DWORD shownAfter = GetTickCount() - start;
  Check("the progress window is shown during the run",
        window != nullptr && IsWindowVisible(window));
  if (window != nullptr) {
    Check("it is not shown before half a second of work", shownAfter >= 500,
          std::to_string(shownAfter) + " ms");
    Check("its title is the caption", Text(window) == caption, Text(window));
    const LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
    Check("it never takes the focus (WS_EX_NOACTIVATE)",
          (exStyle & WS_EX_NOACTIVATE) != 0);
    Check("it is not the active window", GetForegroundWindow() != window);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    Check("it belongs to the updater", owner == info.dwProcessId);

    HWND bar = FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr);
    Check("it holds a progress bar", bar != nullptr);
    HWND label = FindWindowExA(window, nullptr, "Static", nullptr);
    Sleep(250);  // a timer tick or two: the labels hold the run's state
    Check("it names the running procedure",
          label != nullptr && Text(label) == "CopyAll",
          label != nullptr ? Text(label) : "no label");
    if (bar != nullptr) {
      const LRESULT first = Ask(bar, PBM_GETPOS);
      Sleep(600);
      const LRESULT second = Ask(bar, PBM_GETPOS);
      const bool during = Running(info.hProcess);
      Check("the bar advances while files are copied",
            during && first >= 0 && second > first,
            std::to_string(first) + " then " + std::to_string(second) +
                (during ? "" : " (the run ended in between: make it longer)"));
      Check("the bar stays within its range", second <= 1000,
            std::to_string(second));
    }
  }

  // The message box of the procedure after the copy, shown while the
  // progress window is up: the box keeps the focus and its own (absent)
  // owner, and the run goes on once it is answered.
  HWND box = nullptr;
  const DWORD boxWait = GetTickCount();
  while (Running(info.hProcess) && GetTickCount() - boxWait < 300000) {
    box = FindWindowA("#32770", caption.c_str());
    if (box != nullptr && IsWindowVisible(box)) break;
    box = nullptr;
    Sleep(50);
  }
  Check("the message box is shown", box != nullptr);
  if (box != nullptr) {
    Sleep(300);  // let activation settle
    HWND progressNow = FindWindowA(kClassName, nullptr);
    Check("the progress window is still up while the box is shown",
          progressNow != nullptr && IsWindowVisible(progressNow));
    Check("the box is the active window", GetForegroundWindow() == box,
          "foreground is " +
              std::to_string(reinterpret_cast<uintptr_t>(GetForegroundWindow())));
    Check("the box has no owner", GetWindow(box, GW_OWNER) == nullptr);
    HWND text = FindWindowExA(box, nullptr, "Static", "Copied.");
    Check("the box shows the procedure's text", text != nullptr);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }

  const bool ended = WaitForSingleObject(info.hProcess, 300000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  Check("the run ends with exit code 0", ended && code == 0,
        std::to_string(code));
  Check("no progress window is left after the run",
        FindWindowA(kClassName, nullptr) == nullptr);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
