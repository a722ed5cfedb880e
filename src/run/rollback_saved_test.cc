// Where saved copies go when the system limits the length of paths (as the
// ANSI calls of Windows do): through the fake platform with a limit, whose
// test directory is the root of the volume.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "run/rollback.h"

namespace {

// Paths within the test directory may have this many characters more than
// the directory's own path.
constexpr size_t kRoom = 60;

class SavedPlaceTest : public ::testing::Test {
 protected:
  SavedPlaceTest() {
    const char* old = std::getenv("UPDATER_STATE_HOME");
    if (old != nullptr) oldState_ = old;
    setenv("UPDATER_STATE_HOME", state_.path().c_str(), 1);
    limited.volumeRoot = dir.path();
    limited.longestPath = dir.path().size() + kRoom;
  }
  ~SavedPlaceTest() override {
    if (oldState_.empty())
      unsetenv("UPDATER_STATE_HOME");
    else
      setenv("UPDATER_STATE_HOME", oldState_.c_str(), 1);
  }
  // A relative path of the given length: directories named `d` below
  // `under`, then the name `last`.
  static std::string Deep(const std::string& under, size_t length,
                          const std::string& last) {
    std::string path = under;
    while (path.size() + 3 + last.size() <= length) path += "/d";
    path += std::string(length - path.size() - 1 - last.size(), 'e');
    return path + "/" + last;
  }
  // Every file of the test directory with its contents ("/" ends a
  // directory), read without a limit.
  std::map<std::string, std::string> Tree() {
    std::map<std::string, std::string> files;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(dir.path())) {
      const std::string rel =
          entry.path().string().substr(dir.path().size() + 1);
      files[entry.is_directory() ? rel + "/" : rel] =
          entry.is_directory() ? "" : dir.Read(rel);
    }
    return files;
  }
  // Where the saved files are: "root" in a reserved folder at the top of
  // the test directory (the root of the volume), "beside" elsewhere.
  std::string SavedPlaces() {
    std::set<std::string> places;
    const std::string folder = std::string("/") + kRollbackReservedPrefix;
    for (const auto& file : Tree()) {
      const std::string path = "/" + file.first;
      const size_t at = path.find(folder);
      if (path.back() == '/' || at == std::string::npos) continue;
      places.insert(at == 0 && path.find('/', 1) != std::string::npos &&
                            path.find(folder, 1) == std::string::npos
                        ? "root"
                        : "beside");
    }
    std::string text;
    for (const std::string& place : places)
      text += (text.empty() ? "" : ",") + place;
    return text;
  }

  TestDir dir;
  FakePlatform limited;
  std::string settings = dir / "updater.ini";

 private:
  TestDir state_;
  std::string oldState_;
};

// COPY over a file near the limit, and DELETE of a tree whose deepest
// paths are near it: with rollback the change is made as without it,
// its saved copy goes where every path of it fits, and whether the run
// completes, stops or is killed, nothing of it stays.
TEST_F(SavedPlaceTest, PathsNearTheLimitWithAndWithoutRollback) {
  struct Case {
    const char* what;
    std::vector<std::string> files;  // written with their own path as text
    std::function<bool(Platform&, const std::string&)> change;
    const char* places;  // where the saved copies are before the end
  };
  const std::string longFile = Deep("a", kRoom - 1, "f");
  const std::string besideFile = Deep("b", kRoom - 21, "f");
  // Trees: the file's name leaves room for a search in its folder.
  const std::string deepTree = Deep("t", kRoom - 1, "file");
  const std::string lowTree =
      Deep("aaaa/bbbb/cccc/dddd/eeee/t", kRoom - 1, "file");
  auto copy = [](const std::string& to) {
    return [to](Platform& p, const std::string& d) {
      return CopyTree(p, StrBuf((d + "/new.txt").c_str()),
                      StrBuf((d + "/" + to).c_str()));
    };
  };
  auto remove = [](const std::string& what) {
    return [what](Platform& p, const std::string& d) {
      return DeleteTree(p, StrBuf((d + "/" + what).c_str()));
    };
  };
  const std::vector<Case> cases = {
      {"copy over a file whose name is shorter than a saved one",
       {longFile}, copy(longFile), "root"},
      {"copy over a file with room beside it", {besideFile},
       copy(besideFile), "beside"},
      {"delete of a tree that fits nowhere whole", {deepTree, "t/g.txt"},
       remove("t"), "beside,root"},
      {"delete of a tree that fits near the root", {lowTree, "aaaa/x.txt"},
       remove("aaaa/bbbb/cccc/dddd/eeee/t"), "root"},
  };
  dir.Write("updater.ini", "[UPDATER]\n");
  dir.Write("new.txt", "new");
  for (const Case& c : cases) {
    for (const std::string& file : c.files) dir.Write(file, file);
    const auto before = Tree();
    Platform plain = limited.WithFiles(limited);
    ASSERT_TRUE(c.change(plain, dir.path())) << c.what;
    const auto without = Tree();
    for (const char* end : {"completed", "stopped", "killed"}) {
      SCOPED_TRACE(std::string(c.what) + ", " + end);
      for (const std::string& file : c.files) dir.Write(file, file);
      ASSERT_EQ(Tree(), before);
      {
        RollbackPlatform run(limited, limited);
        ASSERT_EQ(run.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
        ASSERT_TRUE(run.Begin());
        Platform journaled = limited.WithFiles(run);
        ASSERT_TRUE(c.change(journaled, dir.path()));
        EXPECT_EQ(SavedPlaces(), c.places);
        if (end == std::string("completed")) {
          EXPECT_TRUE(run.Commit());
        } else if (end == std::string("stopped")) {
          const RollbackResult result = run.RollBack();
          EXPECT_EQ(result.failed, 0);
        }
      }
      if (end == std::string("killed")) {
        RollbackPlatform next(limited, limited);
        ASSERT_EQ(next.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
        RollbackResult result, others;
        std::string refused;
        EXPECT_EQ(next.Recover(result, others, refused),
                  RollbackPlatform::Recovery::kDone);
        EXPECT_EQ(result.failed, 0);
      }
      EXPECT_EQ(Tree(), end == std::string("completed") ? without : before);
      RollbackPlatform probe(limited, limited);
      ASSERT_EQ(probe.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
      EXPECT_EQ(limited.GetFileAttrs(probe.JournalPath().c_str()),
                kInvalidAttributes);
    }
    // Back for the next case.
    for (const auto& file : Tree())
      if (file.first.find('/') == file.first.size() - 1)
        std::filesystem::remove_all(dir / file.first);
  }
}

}  // namespace
