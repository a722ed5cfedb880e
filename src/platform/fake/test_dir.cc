#include "platform/fake/test_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TestDir::TestDir() : TestDir(fs::temp_directory_path().string()) {}

TestDir::TestDir(const std::string& base) {
  std::string pattern = (fs::path(base) / "updater-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made != nullptr ? made : pattern;
}

TestDir::~TestDir() {
  std::error_code ignored;
  // Read-only entries are made writable first so that they can be removed.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                      ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TestDir::operator/(const std::string& relative) const {
  return path_ + "/" + relative;
}

void TestDir::Write(const std::string& relative,
                    const std::string& contents) const {
  fs::path file = fs::path(path_) / relative;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << contents;
}

std::string TestDir::Read(const std::string& relative) const {
  std::ifstream in(fs::path(path_) / relative, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool TestDir::Exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(fs::path(path_) / relative, ignored));
}
