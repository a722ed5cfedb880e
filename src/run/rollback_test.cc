#include "run/rollback.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

// Renames to a saved name fail after a number of them: the disk is full, or
// a saved copy cannot be put back.
class FaultyPlatform : public FakePlatform {
 public:
  int setAsideLeft = 1 << 30;
  bool failPutBack = false;
  bool MoveFileTo(const char* source, const char* destination) override {
    if (std::string(destination).find(kRollbackReservedPrefix) !=
            std::string::npos &&
        setAsideLeft-- <= 0)
      return false;
    if (failPutBack && std::string(source).find(kRollbackReservedPrefix) !=
                           std::string::npos)
      return false;
    return FakePlatform::MoveFileTo(source, destination);
  }
  bool MoveFileOver(const char* source, const char* destination) override {
    if (failPutBack && std::string(source).find(kRollbackReservedPrefix) !=
                           std::string::npos)
      return false;
    return FakePlatform::MoveFileOver(source, destination);
  }
};

class RollbackTest : public ::testing::Test {
 protected:
  RollbackTest() : journaled(platform) {
    SetAnsiCodePage(kCodePageUtf8);
    settings = dir / "updater.ini";
    dir.Write("updater.ini", "[UPDATER]\n");
    dir.Write("app/main.exe", "old main");
    dir.Write("app/conf.ini", "conf");
    dir.Write("app/data/x.txt", "x");
    dir.Write("app/data/sub/y.txt", "y");
    dir.Write("new/main.exe", "new main");
  }
  // A run that replaces main.exe and deletes app/data and is then killed:
  // its platform goes away without a commit or a rollback.
  void RunKilledAfterTwoChanges() {
    RollbackPlatform killed(platform);
    ASSERT_TRUE(killed.Begin(settings.c_str()));
    ASSERT_TRUE(CopyTree(killed, StrBuf((dir / "new").c_str()),
                         StrBuf((dir / "app").c_str())));
    ASSERT_TRUE(DeleteTree(killed, StrBuf((dir / "app/data").c_str())));
  }
  // Every name in the test directory, "/" after a directory's.
  std::set<std::string> Tree(const std::string& under = "") {
    std::set<std::string> names;
    const std::string base = under.empty() ? dir.path() : dir / under;
    DirEntry entry;
    auto search = platform.StartSearchInside(base.c_str(), entry);
    if (!search) return names;
    do {
      if (entry.name == "." || entry.name == "..") continue;
      const std::string rel = (under.empty() ? "" : under + "/") + entry.name;
      if (entry.attributes & kAttrDirectory) {
        names.insert(rel + "/");
        for (const std::string& inner : Tree(rel)) names.insert(inner);
      } else {
        names.insert(rel);
      }
    } while (search->Next(entry));
    return names;
  }
  // Makes the changes of a small run: a replace, a new file, a tree
  // deleted, a move, an attribute.
  void Changes() {
    ASSERT_TRUE(CopyTree(journaled, StrBuf((dir / "new").c_str()),
                         StrBuf((dir / "app").c_str())));
    ASSERT_TRUE(CopyTree(journaled, StrBuf((dir / "new/main.exe").c_str()),
                         StrBuf((dir / "app/added.exe").c_str())));
    ASSERT_TRUE(DeleteTree(journaled, StrBuf((dir / "app/data").c_str())));
    ASSERT_TRUE(MoveTree(journaled, StrBuf((dir / "app/conf.ini").c_str()),
                         StrBuf((dir / "app/conf.bak").c_str())));
    ASSERT_TRUE(journaled.SetFileAttrs((dir / "app/main.exe").c_str(),
                                       kAttrReadOnly));
  }
  TestDir dir;
  FaultyPlatform platform;
  RollbackPlatform journaled;
  std::string settings;
};

TEST_F(RollbackTest, StoppedRunIsUndoneAndCompletedRunLeavesNoTrace) {
  const std::set<std::string> before = Tree();
  ASSERT_TRUE(journaled.Begin(settings.c_str()));
  Changes();
  // The tree deleted is one rename aside, beside it; the walks of the run
  // never see it.
  int saved = 0;
  for (const std::string& name : Tree("app"))
    if (name.find(kRollbackReservedPrefix) != std::string::npos &&
        name.find("/x.txt") != std::string::npos)
      ++saved;
  EXPECT_EQ(saved, 1);
  DirEntry entry;
  auto search = journaled.StartSearch((dir / "app/*").c_str(), entry);
  ASSERT_TRUE(search != nullptr);
  do
    EXPECT_EQ(entry.name.find(kRollbackReservedPrefix), std::string::npos);
  while (search->Next(entry));
  search.reset();
  const RollbackResult result = journaled.RollBack();
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(result.undone, 5);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(dir.Read("app/main.exe"), "old main");
  EXPECT_EQ(platform.GetFileAttrs((dir / "app/main.exe").c_str()),
            kAttrArchive);

  ASSERT_TRUE(journaled.Begin(settings.c_str()));
  Changes();
  journaled.Commit();
  EXPECT_FALSE(journaled.Journaling());
  for (const std::string& name : Tree())
    EXPECT_EQ(name.find(kRollbackReservedPrefix), std::string::npos) << name;
  EXPECT_EQ(dir.Read("app/main.exe"), "new main");
  EXPECT_FALSE(dir.Exists("app/data"));
}

// The disk fills while the third file is set aside: that change fails with
// nothing changed, and what was done before is rolled back.
TEST_F(RollbackTest, DiskFullWhileSettingAside) {
  const std::set<std::string> before = Tree();
  ASSERT_TRUE(journaled.Begin(settings.c_str()));
  platform.setAsideLeft = 1;
  ASSERT_TRUE(CopyTree(journaled, StrBuf((dir / "new/main.exe").c_str()),
                       StrBuf((dir / "app/main.exe").c_str())));
  EXPECT_FALSE(DeleteTree(journaled, StrBuf((dir / "app/conf.ini").c_str())));
  EXPECT_EQ(dir.Read("app/conf.ini"), "conf");
  const RollbackResult result = journaled.RollBack();
  EXPECT_EQ(result.undone, 1);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(dir.Read("app/main.exe"), "old main");
}

// What cannot be put back is reported by its path, its saved copy kept and
// the journal left holding it alone; the rest is restored.
TEST_F(RollbackTest, VanishedOrStuckSavedCopies) {
  ASSERT_TRUE(journaled.Begin(settings.c_str()));
  ASSERT_TRUE(DeleteTree(journaled, StrBuf((dir / "app/conf.ini").c_str())));
  ASSERT_TRUE(DeleteTree(journaled, StrBuf((dir / "app/main.exe").c_str())));
  // The saved copy of conf.ini vanishes.
  for (const std::string& name : Tree("app"))
    if (name.find(kRollbackReservedPrefix) != std::string::npos &&
        dir.Read(name) == "conf")
      std::remove((dir / name).c_str());
  RollbackResult result = journaled.RollBack();
  EXPECT_EQ(result.undone, 1);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.firstFailed, dir / "app/conf.ini");
  EXPECT_EQ(dir.Read("app/main.exe"), "old main");
  const std::string journal =
      RollbackPlatform::JournalPath(settings.c_str(), "/");
  EXPECT_TRUE(platform.GetFileAttrs(journal.c_str()) != kInvalidAttributes);
  std::remove(journal.c_str());

  // A saved copy that cannot be moved back stays where it is.
  ASSERT_TRUE(journaled.Begin(settings.c_str()));
  ASSERT_TRUE(DeleteTree(journaled, StrBuf((dir / "app/main.exe").c_str())));
  platform.failPutBack = true;
  result = journaled.RollBack();
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.firstFailed, dir / "app/main.exe");
  int kept = 0;
  for (const std::string& name : Tree("app"))
    if (name.find(kRollbackReservedPrefix) != std::string::npos &&
        dir.Read(name) == "old main")
      ++kept;
  EXPECT_EQ(kept, 1);
}

// A run that ended without its rollback (killed) is undone by the next
// start, also when its journal ends in a torn record.
TEST_F(RollbackTest, RecoveryOfAnInterruptedRun) {
  const std::set<std::string> before = Tree();
  ASSERT_NO_FATAL_FAILURE(RunKilledAfterTwoChanges());
  const std::string journal =
      RollbackPlatform::JournalPath(settings.c_str(), "/");
  std::ofstream(journal, std::ios::app) << "R 12:/etc/passwd";
  RollbackResult result;
  std::string refused;
  EXPECT_EQ(journaled.Recover(settings.c_str(), result, refused),
            RollbackPlatform::Recovery::kDone);
  EXPECT_EQ(result.undone, 2);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(journaled.Recover(settings.c_str(), result, refused),
            RollbackPlatform::Recovery::kNone);
}

// A journal of another settings file, or one whose saved copy is not a
// reserved name beside its file, is refused and left untouched.
TEST_F(RollbackTest, JournalsThatAreNotActedOn) {
  const std::string journal =
      RollbackPlatform::JournalPath(settings.c_str(), "/");
  const std::string foreign = EncodeJournalHeader("/elsewhere/updater.ini");
  const std::string outside =
      EncodeJournalHeader(settings) +
      EncodeJournalRecord({kJournalSetAside, dir / "app/main.exe",
                           dir / "new/main.exe", 0});
  const std::string relative =
      EncodeJournalHeader(settings) +
      EncodeJournalRecord({kJournalCreated, "app/../../main.exe", "", 0});
  for (const std::string& text : {foreign, outside, relative}) {
    std::ofstream(journal, std::ios::trunc) << text;
    RollbackResult result;
    std::string refused;
    EXPECT_EQ(journaled.Recover(settings.c_str(), result, refused),
              RollbackPlatform::Recovery::kRefused);
    EXPECT_EQ(refused, journal);
    EXPECT_EQ(dir.Read("new/main.exe"), "new main");
    EXPECT_EQ(dir.Read("app/main.exe"), "old main");
    EXPECT_TRUE(dir.Exists(journal.substr(dir.path().size() + 1)));
  }
}

}  // namespace

namespace {

// A run killed while it removed its saved copies had completed: the next
// start finishes that, and undoes nothing.
TEST_F(RollbackTest, RecoveryOfACompletedRunCutShort) {
  ASSERT_NO_FATAL_FAILURE(RunKilledAfterTwoChanges());
  const std::string journal =
      RollbackPlatform::JournalPath(settings.c_str(), "/");
  std::ofstream(journal, std::ios::app)
      << EncodeJournalRecord({kJournalCommitted, "", "", 0});
  RollbackResult result;
  std::string refused;
  EXPECT_EQ(journaled.Recover(settings.c_str(), result, refused),
            RollbackPlatform::Recovery::kDone);
  EXPECT_EQ(result.undone, 0);
  EXPECT_EQ(dir.Read("app/main.exe"), "new main");
  for (const std::string& name : Tree())
    EXPECT_EQ(name.find(kRollbackReservedPrefix), std::string::npos) << name;
}

}  // namespace

namespace {

// A name whose last character ends in the byte of "\\" (code page 932):
// the journal goes beside the settings file, named after it whole.
TEST(RollbackJournalPath, DoubleByteNamesAndSeparators) {
  SetAnsiCodePage(kCodePageShiftJis);
  EXPECT_EQ(RollbackPlatform::JournalPath("C:\\\x95\x5C\\\x83\x5C.ini", "\\"),
            "C:\\\x95\x5C\\~updater-rollback.\x83\x5C.ini.journal");
  SetAnsiCodePage(kCodePageUtf8);
  EXPECT_EQ(RollbackPlatform::JournalPath("/opt/app/u.ini", "/"),
            "/opt/app/~updater-rollback.u.ini.journal");
}

}  // namespace
