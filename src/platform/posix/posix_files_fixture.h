// The fixture of the tests of the POSIX file operations: a temporary
// directory, the platform, and short ways to name and look at entries.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"

using Names = std::vector<std::string>;

class PosixFilesTest : public ::testing::Test {
 protected:
  PosixFilesTest() { platform.SetCodePage(kCodePageUtf8); }

  const char* P(const std::string& relative) {
    paths_.push_back(dir / relative);
    return paths_.back().c_str();
  }
  // The names a search yields, sorted; "-" when it finds nothing.
  Names Search(const std::string& pattern) {
    Names names;
    DirEntry entry;
    auto search = platform.StartSearch(pattern.c_str(), entry);
    if (!search) return {"-"};
    do names.push_back(entry.name); while (search->Next(entry));
    std::sort(names.begin(), names.end());
    return names;
  }
  mode_t Mode(const std::string& relative) {
    struct stat st;
    return lstat(P(relative), &st) == 0 ? st.st_mode & 07777 : 0;
  }

  TestDir dir;
  PosixPlatform platform;

 private:
  std::deque<std::string> paths_;  // stable addresses for P()
};
