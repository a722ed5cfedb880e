// A temporary directory for tests, removed with everything in it.
#pragma once

#include <string>

class TestDir {
 public:
  TestDir();
  // A directory under base instead of the system's temporary folder.
  explicit TestDir(const std::string& base);
  ~TestDir();
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const;
  // Writes a file (creating its directories).
  void Write(const std::string& relative, const std::string& contents) const;
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

 private:
  std::string path_;
};
