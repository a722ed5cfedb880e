// Test fixture: the tests' texts are read by the rules of UTF-8 (cp).
#pragma once

#include <gtest/gtest.h>

#include "base/code_page.h"

class Utf8CodePageTest : public ::testing::Test {
 protected:
  CodePage cp{kCodePageUtf8};
};
