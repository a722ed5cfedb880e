#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"

namespace {

class AppendFileTest : public ::testing::Test {
 protected:
  TestDir dir;
  PosixPlatform platform;
};

TEST_F(AppendFileTest, FileIsCreatedOrAppendedTo) {
  auto created = platform.OpenForAppend((dir / "new.jsonl").c_str());
  ASSERT_NE(created, nullptr);
  EXPECT_TRUE(created->WriteLine("{\"a\":1}"));
  created.reset();
  EXPECT_EQ(dir.Read("new.jsonl"), "{\"a\":1}\n");

  dir.Write("old.jsonl", "kept\n");
  auto appended = platform.OpenForAppend((dir / "old.jsonl").c_str());
  ASSERT_NE(appended, nullptr);
  EXPECT_TRUE(appended->WriteLine("one"));
  EXPECT_TRUE(appended->WriteLine(""));
  EXPECT_EQ(dir.Read("old.jsonl"), "kept\none\n\n");
}

TEST_F(AppendFileTest, WhatCannotBeWrittenIsRefusedWithoutWaiting) {
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(platform.OpenForAppend(fifo.c_str()), nullptr);  // no reader
  EXPECT_EQ(platform.OpenForAppend(dir.path().c_str()), nullptr);
  EXPECT_EQ(platform.OpenForAppend((dir / "no/such/dir/t").c_str()), nullptr);
  EXPECT_EQ(platform.OpenForAppend(""), nullptr);

  // A device that takes no data opens, and its writes fail.
  auto full = platform.OpenForAppend("/dev/full");
  ASSERT_NE(full, nullptr);
  EXPECT_FALSE(full->WriteLine("x"));
}

TEST_F(AppendFileTest, PipeWithAReaderWaitsForItUntilItLeaves) {
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  auto file = platform.OpenForAppend(fifo.c_str());
  ASSERT_NE(file, nullptr);

  // A line larger than the pipe holds is written whole: the writes wait for
  // the reader instead of failing as non-blocking ones would.
  const std::string line(1 << 20, 'x');
  size_t got = 0;
  std::thread drain([&] {
    // A late reader: the pipe is full long before it starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fcntl(reader, F_SETFL, fcntl(reader, F_GETFL) & ~O_NONBLOCK);
    char buffer[65536];
    ssize_t n;
    while (got < line.size() + 1 &&
           (n = read(reader, buffer, sizeof buffer)) > 0) {
      got += static_cast<size_t>(n);
    }
  });
  const bool written = file->WriteLine(line);
  if (!written) file.reset();  // the reader sees the end and stops
  drain.join();
  ASSERT_TRUE(written);
  EXPECT_EQ(got, line.size() + 1);

  // Once the reader is gone, a write fails (and does not end the process
  // by SIGPIPE, which the updater ignores).
  close(reader);
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  EXPECT_FALSE(file->WriteLine("late"));
  std::signal(SIGPIPE, previous);
}

}  // namespace
