#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/posix/posix_platform.h"

extern char** environ;

namespace {

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string ReadLink(const std::string& path) {
  char buffer[4096];
  ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
  return n < 0 ? std::string() : std::string(buffer, static_cast<size_t>(n));
}

// Polls the lookup until it gives the wanted id (the child may not have
// reached exec yet) or two seconds have passed.
uint32_t FindSoon(PosixPlatform& platform, const std::string& name,
                  uint32_t wanted) {
  uint32_t found = 0;
  for (int i = 0; i < 200; ++i) {
    found = platform.FindProcessId(name.c_str());
    if (found == wanted) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return found;
}

// A child running a private copy of sleep, so that its executable's path
// belongs to this test alone.
class ProcessLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ProcLookup_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // A name of its own: the tests run side by side, and a sibling whose
    // executable was removed is compared by its bare name.
    name_ = "Napper" + dir_.substr(dir_.size() - 6);
    exe_ = dir_ + "/" + name_;
    {
      std::ifstream in("/bin/sleep", std::ios::binary);
      std::ofstream out(exe_, std::ios::binary);
      out << in.rdbuf();
    }
    ASSERT_EQ(chmod(exe_.c_str(), 0755), 0);
    char* argv[] = {const_cast<char*>(exe_.c_str()),
                    const_cast<char*>("30"), nullptr};
    ASSERT_EQ(posix_spawn(&child_, exe_.c_str(), nullptr, nullptr, argv,
                          environ),
              0);
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }

  PosixPlatform platform;
  std::string dir_;
  std::string name_;
  std::string exe_;
  pid_t child_ = 0;
};

TEST_F(ProcessLookupTest, FindsAChildByItsFullPathIgnoringCase) {
  uint32_t id = static_cast<uint32_t>(child_);
  EXPECT_EQ(FindSoon(platform, exe_, id), id);
  EXPECT_EQ(platform.FindProcessId(Upper(exe_).c_str()), id);
  // The executable can be read, so its bare name does not match.
  EXPECT_EQ(platform.FindProcessId(name_.c_str()), 0u);
  EXPECT_EQ(platform.FindProcessId((exe_ + "x").c_str()), 0u);
  EXPECT_EQ(platform.FindProcessId(""), 0u);

  kill(child_, SIGKILL);
  waitpid(child_, nullptr, 0);
  child_ = 0;
  EXPECT_EQ(platform.FindProcessId(exe_.c_str()), 0u);
}

TEST_F(ProcessLookupTest, FindsAChildByALinkToItsExecutable) {
  std::string link = dir_ + "/link";
  ASSERT_EQ(symlink(exe_.c_str(), link.c_str()), 0);
  uint32_t id = static_cast<uint32_t>(child_);
  EXPECT_EQ(FindSoon(platform, link, id), id);
}

TEST_F(ProcessLookupTest, FindsAChildWhoseExecutableWasRemoved) {
  uint32_t id = static_cast<uint32_t>(child_);
  ASSERT_EQ(FindSoon(platform, exe_, id), id);
  ASSERT_EQ(unlink(exe_.c_str()), 0);
  EXPECT_EQ(platform.FindProcessId(exe_.c_str()), id);
}

// A process whose executable cannot be read (here a zombie) is compared by
// its short name.
TEST(ProcessLookupZombieTest, ComparesTheShortNameWhereExeIsUnreadable) {
  std::string name = "zp" + std::to_string(getpid());
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    prctl(PR_SET_NAME, name.c_str(), 0, 0, 0);
    _exit(0);
  }
  // Wait until the child has exited but is not reaped.
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT),
            0);
  PosixPlatform platform;
  EXPECT_EQ(platform.FindProcessId(Upper(name).c_str()),
            static_cast<uint32_t>(child));
  waitpid(child, nullptr, 0);
  EXPECT_EQ(platform.FindProcessId(name.c_str()), 0u);
}

TEST(ProcessLookupSelfTest, SkipsTheOwnProcess) {
  PosixPlatform platform;
  std::string self = ReadLink("/proc/self/exe");
  ASSERT_FALSE(self.empty());
  uint32_t found = platform.FindProcessId(self.c_str());
  // Another copy of the test program may run at the same time.
  if (found != 0) {
    EXPECT_NE(found, static_cast<uint32_t>(getpid()));
    EXPECT_EQ(ReadLink("/proc/" + std::to_string(found) + "/exe"), self);
  }
}

}  // namespace
