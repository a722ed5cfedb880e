#include "run/rollback.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/broken_listing.h"
#include "platform/fake/test_dir.h"
#include "platform/file_system_forwarder.h"

namespace {

// Renames to a saved name fail after a number of them: the disk is full, or
// a saved copy cannot be put back.
class FaultyFiles : public FileSystemForwarder {
 public:
  explicit FaultyFiles(FileSystem& inner) : FileSystemForwarder(inner) {}
  int setAsideLeft = 1 << 30;
  bool failPutBack = false;
  // Journal writes: each takes one; when none is left, the disk is full
  // (half of the line is written first, as a full disk does).
  int journalWritesLeft = 1 << 30;
  bool failFlush = false;
  class FillingFile : public AppendFile {
   public:
    FillingFile(std::unique_ptr<AppendFile> inner, FaultyFiles& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    bool WriteLine(const std::string& text) override {
      if (owner_.journalWritesLeft-- > 0) return inner_->WriteLine(text);
      inner_->WriteLine(text.substr(0, text.size() / 2));
      return false;
    }
    bool Flush() override { return !owner_.failFlush && inner_->Flush(); }

   private:
    std::unique_ptr<AppendFile> inner_;
    FaultyFiles& owner_;
  };
  // Changes to the file system: each takes one; when none is left the
  // process is as good as dead: that change and every later one fail, and
  // so does every journal write.
  int changesLeft = 1 << 30;
  bool Dies() {
    if (changesLeft-- > 0) return false;
    journalWritesLeft = 0;
    return true;
  }
  bool DeleteOneFile(const char* path) override {
    return !Dies() && inner_.DeleteOneFile(path);
  }
  bool RemoveDir(const char* path) override {
    return !Dies() && inner_.RemoveDir(path);
  }
  bool MakeDirectory(const char* path) override {
    return !Dies() && inner_.MakeDirectory(path);
  }
  bool SetFileAttrs(const char* path, uint32_t attributes) override {
    return !Dies() && inner_.SetFileAttrs(path, attributes);
  }
  bool SetExactMode(const char* path, uint32_t mode) override {
    return !Dies() && inner_.SetExactMode(path, mode);
  }
  std::unique_ptr<AppendFile> CreatePrivateFile(const char* path) override {
    auto file = inner_.CreatePrivateFile(path);
    if (!file) return nullptr;
    return std::make_unique<FillingFile>(std::move(file), *this);
  }
  bool MoveFileTo(const char* source, const char* destination) override {
    if (Dies()) return false;
    if (std::string(destination).find(kRollbackReservedPrefix) !=
            std::string::npos &&
        setAsideLeft-- <= 0)
      return false;
    if (failPutBack && std::string(source).find(kRollbackReservedPrefix) !=
                           std::string::npos)
      return false;
    return inner_.MoveFileTo(source, destination);
  }
  bool MoveFileOver(const char* source, const char* destination) override {
    if (Dies()) return false;
    if (failPutBack && std::string(source).find(kRollbackReservedPrefix) !=
                           std::string::npos)
      return false;
    return inner_.MoveFileOver(source, destination);
  }
};

class RollbackTest : public ::testing::Test {
 protected:
  RollbackTest() : journaled(platform, fake) {
    const char* old = std::getenv("UPDATER_STATE_HOME");
    if (old != nullptr) oldState = old;
    setenv("UPDATER_STATE_HOME", state.path().c_str(), 1);
    settings = dir / "updater.ini";
    dir.Write("updater.ini", "[UPDATER]\n");
    dir.Write("app/main.exe", "old main");
    dir.Write("app/conf.ini", "conf");
    dir.Write("app/data/x.txt", "x");
    dir.Write("app/data/sub/y.txt", "y");
    dir.Write("new/main.exe", "new main");
  }
  ~RollbackTest() override {
    if (oldState.empty())
      unsetenv("UPDATER_STATE_HOME");
    else
      setenv("UPDATER_STATE_HOME", oldState.c_str(), 1);
  }
  void Begin(RollbackPlatform& run) {
    ASSERT_EQ(run.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
    ASSERT_TRUE(run.Begin());
  }
  RollbackPlatform::Recovery Recover(RollbackResult& result) {
    RollbackResult others;
    std::string refused;
    journaled.Release();
    if (journaled.Take(settings.c_str()) != RollbackPlatform::Claim::kTaken)
      return RollbackPlatform::Recovery::kRefused;
    return journaled.Recover(result, others, refused);
  }
  std::string Journal() {
    RollbackPlatform probe(platform, fake);
    probe.Take(settings.c_str());
    return probe.JournalPath();
  }
  // A run that replaces main.exe and deletes app/data and is then killed:
  // its platform goes away without a commit or a rollback.
  void RunKilledAfterTwoChanges() {
    RollbackPlatform killed(platform, fake);
    ASSERT_NO_FATAL_FAILURE(Begin(killed));
    ASSERT_TRUE(CopyTree(With(killed), StrBuf((dir / "new").c_str()),
                         StrBuf((dir / "app").c_str())));
    ASSERT_TRUE(DeleteTree(With(killed), StrBuf((dir / "app/data").c_str())));
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
    ASSERT_TRUE(CopyTree(With(journaled), StrBuf((dir / "new").c_str()),
                         StrBuf((dir / "app").c_str())));
    ASSERT_TRUE(CopyTree(With(journaled),
                         StrBuf((dir / "new/main.exe").c_str()),
                         StrBuf((dir / "app/added.exe").c_str())));
    ASSERT_TRUE(
        DeleteTree(With(journaled), StrBuf((dir / "app/data").c_str())));
    ASSERT_TRUE(MoveTree(With(journaled),
                         StrBuf((dir / "app/conf.ini").c_str()),
                         StrBuf((dir / "app/conf.bak").c_str())));
    ASSERT_TRUE(journaled.SetFileAttrs((dir / "app/main.exe").c_str(),
                                       kAttrReadOnly));
  }
  // The platform of a run with files in front of its file system.
  Platform& With(FileSystem& files) {
    runs.push_back(fake.WithFiles(files));
    return runs.back();
  }
  TestDir dir;
  TestDir state;
  std::string oldState;
  FakePlatform fake;
  FaultyFiles platform{fake};
  RollbackPlatform journaled;
  std::deque<Platform> runs;
  std::string settings;
};

TEST_F(RollbackTest, StoppedRunIsUndoneAndCompletedRunLeavesNoTrace) {
  const std::set<std::string> before = Tree();
  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
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

  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
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
  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
  platform.setAsideLeft = 1;
  ASSERT_TRUE(CopyTree(With(journaled), StrBuf((dir / "new/main.exe").c_str()),
                       StrBuf((dir / "app/main.exe").c_str())));
  EXPECT_FALSE(
      DeleteTree(With(journaled), StrBuf((dir / "app/conf.ini").c_str())));
  EXPECT_EQ(dir.Read("app/conf.ini"), "conf");
  const RollbackResult result = journaled.RollBack();
  EXPECT_EQ(result.undone, 1);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(dir.Read("app/main.exe"), "old main");
}

// A tree with a directory that cannot be listed to its end is not set
// aside whole (its saved copy could never be removed whole): it goes entry
// by entry and fails at that directory, as without a journal, and the undo
// brings back what went.
TEST_F(RollbackTest, TreeThatCannotBeListedWholeIsNotSetAsideWhole) {
  const std::set<std::string> before = Tree();
  BrokenListing broken(platform, dir / "app/data/sub", 2);  // "." and ".."
  RollbackPlatform run(broken, fake);
  ASSERT_NO_FATAL_FAILURE(Begin(run));
  EXPECT_FALSE(DeleteTree(With(run), StrBuf((dir / "app/data").c_str())));
  EXPECT_TRUE(dir.Exists("app/data/sub/y.txt"));
  const RollbackResult result = run.RollBack();
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(Tree(), before);
}

JournalRecord Rec(char kind, const std::string& first,
                  const std::string& second = "") {
  JournalRecord record;
  record.kind = kind;
  record.first = first;
  record.second = second;
  return record;
}

// Saved copies that vanished are each reported, and stay reported at every
// later start; a saved copy that cannot be moved back stays where it is.
TEST_F(RollbackTest, VanishedOrStuckSavedCopies) {
  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
  ASSERT_TRUE(
      DeleteTree(With(journaled), StrBuf((dir / "app/conf.ini").c_str())));
  ASSERT_TRUE(
      DeleteTree(With(journaled), StrBuf((dir / "app/data/x.txt").c_str())));
  ASSERT_TRUE(
      DeleteTree(With(journaled), StrBuf((dir / "app/main.exe").c_str())));
  for (const std::string& name : Tree("app"))
    if (name.find(kRollbackReservedPrefix) != std::string::npos &&
        (dir.Read(name) == "conf" || dir.Read(name) == "x"))
      std::remove((dir / name).c_str());
  RollbackResult result = journaled.RollBack();
  EXPECT_EQ(result.undone, 1);
  EXPECT_EQ(result.failed, 2);
  EXPECT_EQ(result.failedPaths,
            (std::vector<std::string>{dir / "app/conf.ini",
                                      dir / "app/data/x.txt"}));
  EXPECT_EQ(dir.Read("app/main.exe"), "old main");
  for (int start = 0; start < 2; ++start) {
    EXPECT_EQ(Recover(result), RollbackPlatform::Recovery::kDone);
    EXPECT_EQ(result.failed, 2) << start;
  }
  std::remove(Journal().c_str());

  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
  ASSERT_TRUE(
      DeleteTree(With(journaled), StrBuf((dir / "app/main.exe").c_str())));
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

// Undo removes or replaces only what the run itself put there: where
// something else took a name meanwhile (a program the run started writing
// a new file), both are kept and the name is reported.
TEST_F(RollbackTest, WhatSomethingElseWroteIsKept) {
  using Change = bool (*)(Platform&, const std::string&);
  struct Case {
    const char* what;
    Change change;
    const char* rewritten;  // then written by another program
    std::vector<std::pair<std::string, std::string>> after;
  };
  const std::vector<Case> cases = {
      {"moved file, a new one at its old name",
       [](Platform& p, const std::string& d) {
         return MoveTree(p, StrBuf((d + "/app/conf.ini").c_str()),
                         StrBuf((d + "/app/backup/conf.ini").c_str()));
       },
       "app/conf.ini",
       {{"app/conf.ini", "other"}, {"app/backup/conf.ini", "conf"}}},
      {"deleted file, a new one at its name",
       [](Platform& p, const std::string& d) {
         return DeleteTree(p, StrBuf((d + "/app/conf.ini").c_str()));
       },
       "app/conf.ini", {{"app/conf.ini", "other"}}},
      {"replaced file, written again",
       [](Platform& p, const std::string& d) {
         return CopyTree(p, StrBuf((d + "/new/main.exe").c_str()),
                         StrBuf((d + "/app/main.exe").c_str()));
       },
       "app/main.exe", {{"app/main.exe", "other"}}},
  };
  for (const Case& c : cases) {
    for (bool killed : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (killed ? ", killed" : ""));
      dir.Write("app/main.exe", "old main");
      dir.Write("app/conf.ini", "conf");
      RollbackResult result;
      {
        RollbackPlatform run(platform, fake);
        ASSERT_NO_FATAL_FAILURE(Begin(run));
        ASSERT_TRUE(c.change(With(run), dir.path()));
        std::remove((dir / c.rewritten).c_str());
        dir.Write(c.rewritten, "other");
        if (!killed) result = run.RollBack();
      }
      if (killed) {
        EXPECT_EQ(Recover(result), RollbackPlatform::Recovery::kDone);
      }
      // Reported (with the directory the moved file keeps full, or the
      // replaced file's saved copy that cannot go back).
      EXPECT_GE(result.failed, 1);
      EXPECT_NE(std::find(result.failedPaths.begin(), result.failedPaths.end(),
                          dir / c.rewritten),
                result.failedPaths.end());
      for (const auto& file : c.after) EXPECT_EQ(dir.Read(file.first), file.second);
      journaled.Release();
      std::remove(Journal().c_str());
      for (const std::string& name : Tree())
        if (name.find(kRollbackReservedPrefix) != std::string::npos)
          std::remove((dir / name).c_str());
      std::remove((dir / "app/backup/conf.ini").c_str());
    }
  }
}

// A folder that became a link after the run changed something in it is
// never followed by the undo: what lies behind the link stays as it is.
TEST_F(RollbackTest, FolderSwappedForALinkIsNotFollowed) {
  dir.Write("outside/added.exe", "outside");
  dir.Write("outside/main.exe", "outside main");
  for (bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "stopped");
    RollbackResult result;
    {
      RollbackPlatform run(platform, fake);
      ASSERT_NO_FATAL_FAILURE(Begin(run));
      ASSERT_TRUE(CopyTree(With(run), StrBuf((dir / "new/main.exe").c_str()),
                           StrBuf((dir / "app/sub/added.exe").c_str())));
      ASSERT_TRUE(CopyTree(With(run), StrBuf((dir / "new/main.exe").c_str()),
                           StrBuf((dir / "app/sub/main.exe").c_str())));
      const std::string aside = dir / (killed ? "aside-killed" : "aside");
      ASSERT_EQ(std::rename((dir / "app/sub").c_str(), aside.c_str()), 0);
      ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "app/sub").c_str()),
                0);
      if (!killed) result = run.RollBack();
    }
    if (killed) {
      EXPECT_EQ(Recover(result), RollbackPlatform::Recovery::kDone);
    }
    EXPECT_EQ(dir.Read("outside/added.exe"), "outside");
    EXPECT_EQ(dir.Read("outside/main.exe"), "outside main");
    EXPECT_GE(result.failed, 1);
    journaled.Release();
    std::remove(Journal().c_str());
    std::remove((dir / "app/sub").c_str());
  }
}

// One run of a settings file at a time: a second one finds its lock taken
// and leaves the live journal alone; the lock goes with the run.
TEST_F(RollbackTest, OneRunAtATime) {
  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
  ASSERT_TRUE(CopyTree(With(journaled), StrBuf((dir / "new/main.exe").c_str()),
                       StrBuf((dir / "app/main.exe").c_str())));
  {
    RollbackPlatform second(platform, fake);
    // Spelled another way: the same settings file.
    const std::string other = dir / "app/../updater.ini";
    EXPECT_EQ(second.Take(other.c_str()), RollbackPlatform::Claim::kBusy);
    EXPECT_EQ(second.JournalPath(), Journal());
  }
  EXPECT_EQ(dir.Read("app/main.exe"), "new main");
  EXPECT_TRUE(journaled.Commit());
  journaled.Release();
  RollbackPlatform third(platform, fake);
  EXPECT_EQ(third.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
}

// The disk fills at every journal write in turn, the commit mark and its
// flush included: each run ends with the tree as it was or as the completed
// run left it, and nothing of the rollback left behind.
TEST_F(RollbackTest, FullDiskAtEveryJournalWrite) {
  dir.Write("app/data/z.txt", "z");
  const std::set<std::string> before = Tree();
  std::set<std::string> completed;
  for (int left = 0;; ++left) {
    SCOPED_TRACE(left);
    for (bool flushFails : {true, false}) {
      platform.journalWritesLeft = 1 << 30;
      platform.failFlush = false;
      RollbackPlatform run(platform, fake);
      ASSERT_EQ(run.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
      platform.journalWritesLeft = left;
      platform.failFlush = flushFails;
      if (!run.Begin()) continue;  // nothing changed
      bool ok = CopyTree(With(run), StrBuf((dir / "new").c_str()),
                         StrBuf((dir / "app").c_str())) &&
                DeleteTree(With(run), StrBuf((dir / "app/data").c_str())) &&
                MoveTree(With(run), StrBuf((dir / "app/conf.ini").c_str()),
                         StrBuf((dir / "app/conf.bak").c_str()));
      if (ok) ok = run.Commit();
      if (!ok) {
        const RollbackResult result = run.RollBack();
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(Tree(), before);
        EXPECT_EQ(dir.Read("app/main.exe"), "old main");
      } else {
        completed = Tree();
        EXPECT_EQ(dir.Read("app/main.exe"), "new main");
      }
      for (const std::string& name : Tree())
        EXPECT_EQ(name.find(kRollbackReservedPrefix), std::string::npos)
            << name;
      EXPECT_FALSE(platform.GetFileAttrs(run.JournalPath().c_str()) !=
                   kInvalidAttributes);
      if (ok) {
        if (flushFails) continue;
        EXPECT_GT(left, 3);
        return;  // every write before was a write that failed once
      }
    }
  }
}

// ATTR is undone to the exact permission bits, and the journal has its own
// whatever the umask.
TEST_F(RollbackTest, ExactModesAndRestrictiveUmask) {
  chmod((dir / "app/main.exe").c_str(), 02775);
  chmod((dir / "app/conf.ini").c_str(), 0664);
  const mode_t old = umask(0277);
  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
  struct stat st;
  ASSERT_EQ(stat(Journal().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(journaled.SetFileAttrs((dir / "app/main.exe").c_str(),
                                     kAttrReadOnly));
  ASSERT_TRUE(journaled.SetFileAttrs((dir / "app/conf.ini").c_str(),
                                     kAttrReadOnly));
  EXPECT_EQ(journaled.RollBack().failed, 0);
  umask(old);
  ASSERT_EQ(stat((dir / "app/main.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 02775u);
  ASSERT_EQ(stat((dir / "app/conf.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_NE(stat(Journal().c_str(), &st), 0);
}

// A journal cannot be planted: it lives in the account's private folder,
// which is refused when others can write to it.
TEST_F(RollbackTest, StateFolderThatOthersCanWriteIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Begin(journaled));
  EXPECT_TRUE(journaled.Commit());
  journaled.Release();
  const std::string folder = state / "updater";
  EXPECT_EQ(Journal().compare(0, folder.size(), folder), 0);
  chmod(folder.c_str(), 0777);
  RollbackPlatform other(platform, fake);
  EXPECT_EQ(other.Take(settings.c_str()), RollbackPlatform::Claim::kFailed);
  chmod(folder.c_str(), 0700);
  chmod(state.path().c_str(), 0777);
  EXPECT_EQ(other.Take(settings.c_str()), RollbackPlatform::Claim::kFailed);
  chmod(state.path().c_str(), 0700);
  EXPECT_EQ(other.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
}

// A killed run whose settings file is gone (a package folder removed) is
// undone by the next start of any other update of the account.
TEST_F(RollbackTest, KilledRunOfAGoneSettingsFileIsUndoneByAnotherStart) {
  const std::set<std::string> before = Tree();
  ASSERT_NO_FATAL_FAILURE(RunKilledAfterTwoChanges());
  std::remove(settings.c_str());
  dir.Write("other/updater.ini", "[UPDATER]\n");
  RollbackPlatform next(platform, fake);
  ASSERT_EQ(next.Take((dir / "other/updater.ini").c_str()),
            RollbackPlatform::Claim::kTaken);
  RollbackResult own, others;
  std::string refused;
  EXPECT_EQ(next.Recover(own, others, refused),
            RollbackPlatform::Recovery::kNone);
  EXPECT_EQ(others.undone, 2);
  EXPECT_EQ(others.failed, 0);
  dir.Write("updater.ini", "[UPDATER]\n");
  std::set<std::string> after = Tree();
  after.erase("other/");
  after.erase("other/updater.ini");
  EXPECT_EQ(after, before);
}

// A run that ended without its rollback (killed) is undone by the next
// start, also when its journal ends in a torn record.
TEST_F(RollbackTest, RecoveryOfAnInterruptedRun) {
  const std::set<std::string> before = Tree();
  ASSERT_NO_FATAL_FAILURE(RunKilledAfterTwoChanges());
  const std::string journal = Journal();
  std::ofstream(journal, std::ios::app) << "R 12:/etc/passwd";
  RollbackResult result;
  EXPECT_EQ(Recover(result), RollbackPlatform::Recovery::kDone);
  EXPECT_EQ(result.undone, 2);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(Recover(result), RollbackPlatform::Recovery::kNone);
}

// A journal of another settings file, or one whose saved copy is not a
// reserved name beside its file, is refused and left untouched.
TEST_F(RollbackTest, JournalsThatAreNotActedOn) {
  const std::string journal = Journal();
  const std::string foreign = EncodeJournalHeader("/elsewhere/updater.ini");
  const std::string outside =
      EncodeJournalHeader(settings) +
      EncodeJournalRecord(Rec(kJournalSetAside, dir / "app/main.exe",
                              dir / "new/main.exe"));
  const std::string relative =
      EncodeJournalHeader(settings) +
      EncodeJournalRecord(Rec(kJournalCreated, "app/../../main.exe"));
  for (const std::string& text : {foreign, outside, relative}) {
    std::ofstream(journal, std::ios::trunc) << text;
    RollbackResult result, others;
    std::string refused;
    journaled.Release();
    ASSERT_EQ(journaled.Take(settings.c_str()), RollbackPlatform::Claim::kTaken);
    EXPECT_EQ(journaled.Recover(result, others, refused),
              RollbackPlatform::Recovery::kRefused);
    EXPECT_EQ(refused, journal);
    EXPECT_EQ(dir.Read("new/main.exe"), "new main");
    EXPECT_EQ(dir.Read("app/main.exe"), "old main");
    EXPECT_NE(platform.GetFileAttrs(journal.c_str()), kInvalidAttributes);
    std::ifstream kept(journal);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), text);
  }
}

}  // namespace

namespace {

// The process dies at every step of an undo at start, and at every step
// of the removal of the saved copies after a commit: the next start always
// ends with the tree as it was, or as the completed run left it.
TEST_F(RollbackTest, DeathAtEveryStepOfUndoAndCleanUp) {
  const std::set<std::string> before = Tree();
  for (const bool committed : {false, true}) {
    std::set<std::string> after;
    for (int step = 0;; ++step) {
      bool cleanedUp = false;
      SCOPED_TRACE(std::string(committed ? "clean-up" : "undo") + " step " +
                   std::to_string(step));
      {
        RollbackPlatform run(platform, fake);
        ASSERT_NO_FATAL_FAILURE(Begin(run));
        ASSERT_TRUE(CopyTree(With(run), StrBuf((dir / "new").c_str()),
                             StrBuf((dir / "app").c_str())));
        ASSERT_TRUE(DeleteTree(With(run), StrBuf((dir / "app/data").c_str())));
        ASSERT_TRUE(MoveTree(With(run), StrBuf((dir / "app/conf.ini").c_str()),
                             StrBuf((dir / "app/conf.bak").c_str())));
        ASSERT_TRUE(run.SetFileAttrs((dir / "app/main.exe").c_str(),
                                     kAttrReadOnly));
        if (committed) {
          platform.changesLeft = step;
          run.Commit();
          cleanedUp = platform.changesLeft >= 0;
          platform.journalWritesLeft = 1 << 30;
        }
      }
      if (committed) after = Tree();
      RollbackResult result;
      platform.changesLeft = committed ? 1 << 30 : step;
      Recover(result);
      const bool finished =
          committed ? cleanedUp : platform.changesLeft >= 0;
      platform.changesLeft = 1 << 30;
      platform.journalWritesLeft = 1 << 30;
      journaled.Release();
      EXPECT_NE(Recover(result), RollbackPlatform::Recovery::kRefused);
      EXPECT_EQ(result.failed, 0);
      if (!committed) {
        EXPECT_EQ(Tree(), before);
      }
      EXPECT_EQ(dir.Read("app/main.exe"), committed ? "new main" : "old main");
      for (const std::string& name : Tree())
        EXPECT_EQ(name.find(kRollbackReservedPrefix), std::string::npos)
            << name;
      EXPECT_EQ(platform.GetFileAttrs(Journal().c_str()), kInvalidAttributes);
      // Back to the start for the next round.
      journaled.Release();
      if (committed) {
        chmod((dir / "app/main.exe").c_str(), 0644);
        dir.Write("app/main.exe", "old main");
        dir.Write("app/conf.ini", "conf");
        std::remove((dir / "app/conf.bak").c_str());
        std::remove((dir / "app/extra.txt").c_str());
        dir.Write("app/data/x.txt", "x");
        dir.Write("app/data/sub/y.txt", "y");
      }
      if (finished) {
        EXPECT_GT(step, 4);  // every step of a real undo or clean-up
        break;
      }
    }
  }
}

// A run killed while it removed its saved copies had completed: the next
// start finishes that, and undoes nothing.
TEST_F(RollbackTest, RecoveryOfACompletedRunCutShort) {
  ASSERT_NO_FATAL_FAILURE(RunKilledAfterTwoChanges());
  const std::string journal = Journal();
  std::ofstream(journal, std::ios::app)
      << EncodeJournalRecord(Rec(kJournalCommitted, ""));
  RollbackResult result;
  EXPECT_EQ(Recover(result), RollbackPlatform::Recovery::kDone);
  EXPECT_EQ(result.undone, 0);
  EXPECT_EQ(dir.Read("app/main.exe"), "new main");
  for (const std::string& name : Tree())
    EXPECT_EQ(name.find(kRollbackReservedPrefix), std::string::npos) << name;
}

}  // namespace


namespace {

// The folder that holds the settings file deleted or moved by the run: the
// journal is elsewhere, so a later failure undoes it and a completed run
// leaves nothing.
TEST_F(RollbackTest, FolderOfTheSettingsFileDeletedOrMoved) {
  dir.Write("pkg/updater.ini", "[UPDATER]\n");
  dir.Write("pkg/data.txt", "data");
  settings = dir / "pkg/updater.ini";
  const std::set<std::string> before = Tree();
  for (const bool move : {false, true}) {
    for (const bool completes : {false, true}) {
      SCOPED_TRACE(std::string(move ? "moved" : "deleted") +
                   (completes ? ", completed" : ", stopped"));
      ASSERT_NO_FATAL_FAILURE(Begin(journaled));
      if (move)
        ASSERT_TRUE(MoveTree(With(journaled), StrBuf((dir / "pkg").c_str()),
                             StrBuf((dir / "elsewhere").c_str())));
      else
        ASSERT_TRUE(DeleteTree(With(journaled), StrBuf((dir / "pkg").c_str())));
      if (!completes) {
        const RollbackResult result = journaled.RollBack();
        EXPECT_EQ(result.undone, 1);
        EXPECT_EQ(result.failed, 0);
        EXPECT_EQ(Tree(), before);
        journaled.Release();
        continue;
      }
      EXPECT_TRUE(journaled.Commit());
      journaled.Release();
      for (const std::string& name : Tree())
        EXPECT_EQ(name.find(kRollbackReservedPrefix), std::string::npos)
            << name;
      EXPECT_EQ(platform.GetFileAttrs(journaled.JournalPath().c_str()),
                kInvalidAttributes);
      // Back for the next round.
      if (move)
        std::rename((dir / "elsewhere").c_str(), (dir / "pkg").c_str());
      dir.Write("pkg/updater.ini", "[UPDATER]\n");
      dir.Write("pkg/data.txt", "data");
    }
  }
}

}  // namespace
