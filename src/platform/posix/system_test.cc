#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "base/code_page.h"
#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"

namespace {

// Sets (or with null unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Points a standard descriptor elsewhere for one scope.
class ScopedRedirect {
 public:
  ScopedRedirect(int fd, int target) : fd_(fd), saved_(dup(fd)) {
    dup2(target, fd);
  }
  ~ScopedRedirect() {
    dup2(saved_, fd_);
    close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

std::string Folder(PosixPlatform& platform, int csidl) {
  StrBuf out("unchanged");
  if (!platform.SpecialFolder(csidl, out)) return "<failed>";
  return out.Text();
}

TEST(PosixSystemTest, CodePageFollowsTheLocale) {
  ScopedEnv all("LC_ALL", "C.UTF-8");
  const PosixPlatform first;
  EXPECT_EQ(first.AnsiCodePage(), kCodePageUtf8);

  // A Shift_JIS locale made for the test (localedef, package locales).
  TestDir dir;
  std::string command =
      "localedef --no-warnings=ascii -c -f SHIFT_JIS -i ja_JP '" +
      (dir / "ja_JP.SJIS") + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  struct stat st;
  ASSERT_EQ(stat((dir / "ja_JP.SJIS").c_str(), &st), 0)
      << "localedef cannot make a Shift_JIS locale (exit status " << status
      << "): install locales";
  ScopedEnv path("LOCPATH", dir.path().c_str());
  ScopedEnv sjis("LC_ALL", "ja_JP.SJIS");
  const PosixPlatform second;
  EXPECT_EQ(second.AnsiCodePage(), kCodePageShiftJis);
  // Each platform keeps its own: making one changes nothing of another,
  // nor anything else of the process.
  EXPECT_EQ(first.AnsiCodePage(), kCodePageUtf8);
  EXPECT_EQ(second.codePage().CharLength("\x95\x5C"), 2);
  EXPECT_EQ(first.codePage().CharLength("\x95\x5C"), 1);
}

TEST(PosixSystemTest, ShiftJisConversion) {
  PosixPlatform platform;
  platform.SetCodePage(kCodePageShiftJis);
  const char* utf8 = "日本語テスト～\\";
  const char* sjis =
      "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67\x81\x60\\";
  EXPECT_EQ(platform.Utf8ToAnsi(utf8), sjis);
  EXPECT_EQ(platform.AnsiToUtf8(sjis), utf8);

  // Broken or unmappable input is replaced, and the rest still converted.
  EXPECT_EQ(platform.AnsiToUtf8("a\x85\x40"
                                "b\x82"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(platform.Utf8ToAnsi("\xF0\x9F\x98\x80x\xFF\xE3\x81\x82"),
            "?x?\x82\xA0");

  platform.SetCodePage(kCodePageUtf8);
  EXPECT_EQ(platform.Utf8ToAnsi("\xFF日本"), "\xFF日本");
  EXPECT_EQ(platform.AnsiToUtf8("\xFF日本"), "\xFF日本");
}

TEST(PosixSystemTest, MessageTableFollowsTheAnsiCodePage) {
  char buffer[300];
  PosixPlatform platform;
  platform.SetCodePage(kCodePageUtf8);
  ASSERT_GT(platform.LoadResourceString(11, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "プロシージャ数が正しくありません。");
  platform.LoadResourceString(1, buffer, sizeof buffer);
  EXPECT_NE(std::strstr(buffer, "。\n\n"), nullptr);
  EXPECT_EQ(platform.LoadResourceString(5, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  // One character fits.
  EXPECT_EQ(platform.LoadResourceString(11, buffer, 5), 3);

  platform.SetCodePage(kCodePageShiftJis);
  EXPECT_EQ(platform.LoadResourceString(11, buffer, sizeof buffer), 34);
  EXPECT_EQ(std::string(buffer, 4), "\x83\x76\x83\x8D");  // プロ
  EXPECT_EQ(platform.LoadResourceString(11, buffer, 4), 2);
  EXPECT_EQ(std::string(buffer), "\x83\x76");
  platform.SetCodePage(kCodePageUtf8);
}

TEST(PosixSystemTest, FoldersFollowXdgAndTheEnvironment) {
  TestDir dir;
  PosixPlatform platform;
  ScopedEnv home("HOME", "/home/user/");
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  ScopedEnv data("XDG_DATA_HOME", nullptr);
  ScopedEnv desktop("XDG_DESKTOP_DIR", nullptr);
  ScopedEnv documents("XDG_DOCUMENTS_DIR", nullptr);

  EXPECT_EQ(Folder(platform, 0x10), "/home/user/Desktop");
  EXPECT_EQ(Folder(platform, 0x19), "/home/user/Desktop");
  EXPECT_EQ(Folder(platform, 0x17), "/home/user/.local/share/applications");
  EXPECT_EQ(Folder(platform, 0x05), "/home/user/Documents");
  EXPECT_EQ(Folder(platform, 0x36), "/home/user/Pictures");
  EXPECT_EQ(Folder(platform, 0x07), "/home/user/.config/autostart");
  EXPECT_EQ(Folder(platform, 0x1A), "/home/user/.config");
  EXPECT_EQ(Folder(platform, 0x28), "/home/user");
  EXPECT_EQ(Folder(platform, 0x99), "<failed>");

  {
    ScopedEnv set("XDG_DESKTOP_DIR", "/elsewhere/desk/");
    ScopedEnv ignored("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(Folder(platform, 0x10), "/elsewhere/desk");
    EXPECT_EQ(Folder(platform, 0x1C), "/home/user/.local/share");
  }

  // The user-dirs file of the configuration home names localized folders.
  dir.Write("config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\n"
            "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n"
            "XDG_MUSIC_DIR=\"/srv/music/\"\n"
            "XDG_VIDEOS_DIR=\"videos\"\n");
  ScopedEnv configSet("XDG_CONFIG_HOME", (dir / "config").c_str());
  ScopedEnv dataSet("XDG_DATA_HOME", "/data");
  EXPECT_EQ(Folder(platform, 0x10), "/home/user/デスクトップ");
  EXPECT_EQ(Folder(platform, 0x0D), "/srv/music");
  EXPECT_EQ(Folder(platform, 0x0E), "/home/user/Videos");
  EXPECT_EQ(Folder(platform, 0x23), dir / "config");
  EXPECT_EQ(Folder(platform, 0x02), "/data/applications");

  // Texts go to the engine in its code page.
  platform.SetCodePage(kCodePageShiftJis);
  EXPECT_EQ(Folder(platform, 0x10),
            "/home/user/\x83\x66\x83\x58\x83\x4E\x83\x67\x83\x62\x83\x76");
  platform.SetCodePage(kCodePageUtf8);

  StrBuf temp;
  {
    ScopedEnv tmp("TMPDIR", "/var/tmp//");
    ASSERT_TRUE(platform.TempPath(temp));
    EXPECT_STREQ(temp.Text(), "/var/tmp/");
  }
  ScopedEnv noTmp("TMPDIR", nullptr);
  ASSERT_TRUE(platform.TempPath(temp));
  EXPECT_STREQ(temp.Text(), "/tmp/");

  ScopedEnv noHome("HOME", nullptr);
  EXPECT_EQ(Folder(platform, 0x28), "<failed>");
  EXPECT_EQ(Folder(platform, 0x05), "<failed>");
  EXPECT_EQ(Folder(platform, 0x1C), "/data");
}

TEST(PosixSystemTest, AppPathsFindProgramsAlongPath) {
  TestDir dir;
  dir.Write("empty/.keep", "");
  dir.Write("bin/tool", "#!/bin/sh\n");
  dir.Write("bin/plain", "text");
  dir.Write("bin/sub/.keep", "");
  ASSERT_EQ(chmod((dir / "bin/tool").c_str(), 0755), 0);
  ASSERT_EQ(chmod((dir / "bin/sub").c_str(), 0755), 0);
  std::string search = "bin::" + (dir / "empty") + ":" + (dir / "bin") + "//";
  ScopedEnv path("PATH", search.c_str());
  PosixPlatform platform;

  auto find = [&](const char* name, AppPathValue what) {
    StrBuf out("unchanged");
    if (!platform.FindAppPath(name, what, out)) return std::string("<none>");
    return std::string(out.Text());
  };
  EXPECT_EQ(find("tool", AppPathValue::kExecutable), dir / "bin/tool");
  EXPECT_EQ(find("tool", AppPathValue::kPathList), dir / "bin");
  // A link along the path names the program where it really is.
  dir.Write("opt/app/real-tool", "#!/bin/sh\n");
  ASSERT_EQ(chmod((dir / "opt/app/real-tool").c_str(), 0755), 0);
  ASSERT_EQ(symlink("../opt/app/real-tool", (dir / "bin/linked").c_str()), 0);
  EXPECT_EQ(find("linked", AppPathValue::kExecutable),
            dir / "opt/app/real-tool");
  EXPECT_EQ(find("linked", AppPathValue::kPathList), dir / "opt/app");
  // Not executable, a directory, missing, empty, or a path: none.
  for (const char* missing : {"plain", "sub", "nothing", "", "tool\\deeper",
                              "bin/tool"}) {
    EXPECT_EQ(find(missing, AppPathValue::kExecutable), "<none>") << missing;
  }
}

TEST(PosixSystemTest, CurrentDirectoryIsTheProcesses) {
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  StrBuf out;
  ASSERT_TRUE(PosixPlatform().CurrentDirectory(out));
  EXPECT_STREQ(out.Text(), expected);
}

TEST(PosixSystemTest, ModulePathIsTheRunningProgram) {
  PosixPlatform platform;
  char expected[4096];
  ssize_t n = readlink("/proc/self/exe", expected, sizeof expected - 1);
  ASSERT_GT(n, 4);
  expected[n] = 0;
  char buffer[4096];
  EXPECT_EQ(platform.GetModulePath(buffer, sizeof buffer),
            static_cast<uint32_t>(n));
  EXPECT_STREQ(buffer, expected);
  char small[6] = {'#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(platform.GetModulePath(small, 5), 4u);
  EXPECT_EQ(std::string(small), std::string(expected, 4));
  EXPECT_EQ(small[5], '#');
}

// Runs a box with stdin and stderr on a pseudo terminal or, with
// terminal false, on /dev/null and a file; input is what the user types.
int RunBox(unsigned style, bool terminal, const std::string& input,
           std::string* shown = nullptr) {
  PosixPlatform platform;
  TestDir dir;
  std::fflush(stderr);
  int in = -1, err = -1, master = -1;
  if (terminal) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    in = err = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (write(master, input.data(), input.size()) !=
        static_cast<ssize_t>(input.size())) {
      return -1;
    }
  } else {
    in = open("/dev/null", O_RDONLY);
    err = open((dir / "err").c_str(), O_WRONLY | O_CREAT, 0600);
  }
  int answer;
  {
    ScopedRedirect stdinTo(STDIN_FILENO, in);
    ScopedRedirect stderrTo(STDERR_FILENO, err);
    clearerr(stdin);
    answer = platform.ShowBox("Replace the files?", "Caption", style);
    std::fflush(stderr);
    __fpurge(stdin);
    clearerr(stdin);
  }
  if (shown != nullptr && !terminal) *shown = dir.Read("err");
  close(in);
  if (err != in) close(err);
  if (master >= 0) close(master);
  return answer;
}

TEST(PosixSystemTest, BoxWithoutTerminalTakesTheDefault) {
  std::string shown;
  EXPECT_EQ(RunBox(kMbOk | kMbIconError, false, "", &shown), kIdOk);
  EXPECT_NE(shown.find("Caption"), std::string::npos);
  EXPECT_NE(shown.find("Replace the files?"), std::string::npos);
  EXPECT_EQ(RunBox(kMbYesNo | kMbIconQuestion, false, ""), kIdYes);
  EXPECT_EQ(RunBox(kMbYesNo | kMbIconWarning | kMbDefButton2, false, ""),
            kIdNo);
}

TEST(PosixSystemTest, BoxOnTerminalAsksUntilAnswered) {
  EXPECT_EQ(RunBox(kMbYesNo, true, "maybe\n  NO \n"), kIdNo);
  EXPECT_EQ(RunBox(kMbYesNo | kMbDefButton2, true, "y\n"), kIdYes);
  EXPECT_EQ(RunBox(kMbYesNo | kMbDefButton2, true, "\n"), kIdNo);
  EXPECT_EQ(RunBox(kMbYesNo, true, "\n"), kIdYes);
  EXPECT_EQ(RunBox(kMbOk, true, "\n"), kIdOk);
}

}  // namespace
