#include "check/recording_platform.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "settings/profile_cache.h"

namespace {

TEST(RecordingPlatform, ReadsGoThroughAndActionsAreRefused) {
  TestDir dir;
  dir.Write("u.ini", "[S]\nK=value\n");
  dir.Write("a.txt", "a");
  FakePlatform reader;
  RecordingPlatform platform(reader);

  char buffer[32];
  ProfileCache settings(platform, platform.codePage());
  settings.ReadKey((dir / "u.ini").c_str(), "S", "K", "NO", buffer,
                   sizeof buffer);
  EXPECT_STREQ(buffer, "value");
  EXPECT_NE(platform.files().GetFileAttrs((dir / "a.txt").c_str()),
            kInvalidAttributes);

  const std::string a = dir / "a.txt", b = dir / "b.txt";
  EXPECT_FALSE(platform.files().CopyFileOver(a.c_str(), b.c_str()));
  EXPECT_FALSE(platform.files().MoveFileTo(a.c_str(), b.c_str()));
  EXPECT_FALSE(platform.files().DeleteOneFile(a.c_str()));
  EXPECT_FALSE(platform.files().SetFileAttrs(a.c_str(), kAttrReadOnly));
  EXPECT_FALSE(platform.files().MakeDirectory((dir / "d").c_str()));
  EXPECT_FALSE(platform.files().RemoveDir(dir.path().c_str()));
  EXPECT_FALSE(platform.files().WriteShortcut(a.c_str(), "", "", 0,
                                              (dir / "l.LNK").c_str()));
  EXPECT_EQ(platform.processes().StartProgram("/bin/sh -c 'touch x'",
                                              dir.path().c_str()),
            nullptr);
  EXPECT_EQ(platform.processes().OpenForWait(1), nullptr);
  EXPECT_EQ(platform.refused.size(), 9u);
  EXPECT_EQ(dir.Read("a.txt"), "a");
  EXPECT_FALSE(dir.Exists("b.txt"));
  EXPECT_FALSE(dir.Exists("d"));
  EXPECT_FALSE(dir.Exists("x"));
}

TEST(RecordingPlatform, BoxesAreRecordedAndTakeTheDefaultButton) {
  FakePlatform reader;
  RecordingPlatform platform(reader);
  EXPECT_EQ(platform.ui().ShowBox("e", "c", kMbIconError), kIdOk);
  EXPECT_EQ(platform.ui().ShowBox("w", "c",
                                  kMbYesNo | kMbIconWarning | kMbDefButton2),
            kIdNo);
  EXPECT_EQ(platform.ui().ShowBox("q", "c", kMbYesNo | kMbIconQuestion),
            kIdYes);
  ASSERT_EQ(platform.boxes.size(), 3u);
  EXPECT_EQ(platform.boxes[0].text, "e");
  EXPECT_TRUE(reader.boxes.empty());
}

}  // namespace
