#include "core/transcript.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

// The number of times text occurs in all.
size_t Count(const std::string& all, const std::string& text) {
  size_t n = 0;
  for (size_t at = all.find(text); at != std::string::npos;
       at = all.find(text, at + 1)) {
    ++n;
  }
  return n;
}

// Whatever goes wrong with the transcript, the run hears of it once and
// goes on: every later event is dropped without another warning.
TEST(TranscriptTest, UnusableTranscriptWarnsOnceAndIsDropped) {
  TestDir dir;
  FakePlatform platform;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string unusable[] = {dir / "fifo", dir.path(), "/dev/full"};
  for (const std::string& path : unusable) {
    SCOPED_TRACE(path);
    Transcript transcript;
    testing::internal::CaptureStderr();
    transcript.Open(platform, path.c_str());
    transcript.Box("c", "t", "error", "ok", "ok");
    transcript.Proc("P", "COPY", 1, true, 1);
    transcript.End("completed");
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(transcript.IsOpen());
    EXPECT_EQ(Count(warnings, "warning"), 1u) << warnings;
    EXPECT_EQ(Count(warnings, path), 1u) << warnings;
  }
}

}  // namespace
