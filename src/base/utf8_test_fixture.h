// Test fixture: every test starts in UTF-8 and leaves the process's code
// page as it was.
#pragma once

#include <gtest/gtest.h>

#include "base/code_page.h"

class Utf8CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = AnsiCodePage();
    SetAnsiCodePage(kCodePageUtf8);
  }
  void TearDown() override { SetAnsiCodePage(saved_); }

 private:
  unsigned saved_ = kCodePageUtf8;
};
