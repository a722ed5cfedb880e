#include "platform/posix/progress_line.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(CutToColumns, WholeCharactersWithinTheWidth) {
  EXPECT_EQ(CutToColumns("abcdef", 4, true), "abcd");
  EXPECT_EQ(CutToColumns("abc", 10, true), "abc");
  EXPECT_EQ(CutToColumns("abc", 0, true), "");
  // "あい" in UTF-8: two columns each, never cut in the middle.
  const std::string wide = "\xE3\x81\x82\xE3\x81\x84";
  EXPECT_EQ(CutToColumns("a" + wide, 4, true), "a\xE3\x81\x82");
  EXPECT_EQ(CutToColumns("a" + wide, 5, true), "a" + wide);
  EXPECT_EQ(CutToColumns("\xC3\xA9t\xC3\xA9", 2, true), "\xC3\xA9t");  // é: one
  // Code page 932: a double-byte character takes its two columns or none;
  // its trail byte (here "\\", 0x5C) is never taken for a character.
  EXPECT_EQ(CutToColumns("a\x95\x5C" "b", 2, false), "a");
  EXPECT_EQ(CutToColumns("a\x95\x5C" "b", 3, false), "a\x95\x5C");
  // A sequence cut short at the end of the text stays within it.
  EXPECT_EQ(CutToColumns("a\xE3\x81", 9, true), "a\xE3\x81");
}

// A pseudo-terminal of a given width; what the line writes is read back
// from its master side.
class TerminalLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    struct winsize size {};
    size.ws_col = 40;
    size.ws_row = 24;
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, &size), 0);
    // Raw output: "\r" and "\n" arrive as written.
    struct termios mode {};
    tcgetattr(slave_, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave_, TCSANOW, &mode);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  void TearDown() override {
    close(slave_);
    close(master_);
  }
  std::string Read() {
    std::string out;
    char buffer[512];
    for (int tries = 0; tries < 50; ++tries) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) {
        out.append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (!out.empty()) break;
      usleep(2000);
    }
    return out;
  }
  std::unique_ptr<ProgressView> Open(const std::string& caption) {
    return OpenTerminalLine(slave_, caption, true,
                            [](const char* text) { return std::string(text); });
  }
  int master_ = -1;
  int slave_ = -1;
};

TEST_F(TerminalLineTest, DrawnRedrawnInPlaceCutAndErased) {
  std::unique_ptr<ProgressView> line = Open("Setup");
  line->Show("Copy", "12 files", 500);
  // 39 columns of the 40: the line is cut one column before the edge.
  EXPECT_EQ(Read(), "\rSetup: Copy [##########----------] 12 f\x1b[K");
  line->Show("Copy", "12 files", 500);  // unchanged: nothing written
  line->Show("Copy", "13 files", 1000);
  EXPECT_EQ(Read(), "\rSetup: Copy [####################] 13 f\x1b[K");
  line->Clear();
  EXPECT_EQ(Read(), "\r\x1b[K");
  line->Clear();  // nothing drawn: nothing to erase
  line->Show("Delete", "", 0);
  EXPECT_EQ(Read(), "\rSetup: Delete [--------------------]\x1b[K");
  line.reset();  // the end of the run erases the line
  EXPECT_EQ(Read(), "\r\x1b[K");
}

TEST_F(TerminalLineTest, FollowsTheWidthOfTheTerminal) {
  std::unique_ptr<ProgressView> line = Open("");
  struct winsize size {};
  size.ws_col = 10;
  ioctl(slave_, TIOCSWINSZ, &size);
  line->Show("Procedures", "1 file", 0);
  EXPECT_EQ(Read(), "\rProcedure\x1b[K");  // 9 columns: the last stays free
}

}  // namespace
