#include "run/in_use.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/code_page.h"
#include "commands/file_tree.h"
#include "platform/fake/fake_in_use.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "run/rollback.h"
#include "run/runtime.h"

namespace {

using Share = FakeInUse::Share;

// One run on real files, where programs hold some of them.
class InUseTest : public ::testing::Test {
 public:
  InUseTest()
      : holding(platform, inUse),
        guarded(holding, inUse),
        run(platform.WithFiles(guarded)),
        rt(run) {
    rt.inUse = &guarded;
    guarded.Attach(rt);
    dir.Write("new.dll", "new");
    dir.Write("app/app.dll", "old");
    dir.Write("app/other.dll", "other old");
  }
  void Hold(const std::string& relative, const std::string& program,
            Share share = Share::kRead, bool closes = true) {
    FakeInUse::Hold hold;
    hold.program = program;
    hold.share = share;
    hold.closes = closes;
    inUse.holds[dir / relative] = hold;
  }
  void Choose(bool close, bool restart) {
    rt.inUseClose = close;
    rt.inUseRestart = restart;
  }
  bool Copy(const std::string& from, const std::string& to) {
    return CopyTree(rt.platform, StrBuf((dir / from).c_str()),
                    StrBuf((dir / to).c_str()));
  }
  bool Move(const std::string& from, const std::string& to) {
    return MoveTree(rt.platform, StrBuf((dir / from).c_str()),
                    StrBuf((dir / to).c_str()));
  }
  bool Delete(const std::string& path) {
    return DeleteTree(rt.platform, StrBuf((dir / path).c_str()));
  }
  // The names in app/ that begin with the reserved prefix.
  std::vector<std::string> Reserved() {
    std::vector<std::string> names;
    DirEntry entry;
    auto search = platform.StartSearch((dir / "app/*").c_str(), entry);
    if (search) do {
        if (entry.name.rfind(kInUseReservedPrefix, 0) == 0)
          names.push_back(entry.name);
      } while (search->Next(entry));
    return names;
  }

  TestDir dir;
  FakeInUse inUse;
  FakePlatform platform;
  HoldingFiles holding;
  InUsePlatform guarded;
  Platform run;
  Runtime rt;
};

// Without INUSE, a held file fails as before: no question, no registration,
// not even a look at who holds it.
TEST_F(InUseTest, OffFailsAsBefore) {
  Hold("app/app.dll", "App", Share::kReadDelete);
  EXPECT_FALSE(Copy("new.dll", "app/app.dll"));
  EXPECT_FALSE(Delete("app/app.dll"));
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(inUse.listings, 0);
  EXPECT_TRUE(inUse.pending.empty());
  EXPECT_EQ(dir.Read("app/app.dll"), "old");
}

// CLOSE: the question names the programs; Yes closes them (never by
// force) and the copy is made; No, or a program that does not close, fails
// the copy; with RESTART as well, the copy then waits for the restart.
TEST(InUseClose, AsksAndClosesOrFails) {
  const struct {
    int answer;
    bool closes;
    bool restart;
    bool copied;     // the new file in place now
    size_t pending;  // changes registered
  } rows[] = {
      {kIdYes, true, false, true, 0},   {kIdNo, true, false, false, 0},
      {kIdYes, false, false, false, 0}, {kIdNo, true, true, false, 1},
      {kIdYes, false, true, false, 1},  {kIdYes, true, true, true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.answer << row.closes << row.restart);
    struct Run : InUseTest {
      void TestBody() override {}
    } run;
    run.Hold("app/app.dll", "アプリ", Share::kRead, row.closes);
    run.Choose(true, row.restart);
    run.platform.boxAnswers = {row.answer};
    EXPECT_EQ(run.Copy("new.dll", "app/app.dll"), row.copied || row.pending > 0);
    ASSERT_EQ(run.platform.boxes.size(), 1u);
    EXPECT_NE(run.platform.boxes[0].text.find("アプリ"), std::string::npos);
    EXPECT_EQ(run.platform.boxes[0].style,
              kMbYesNo | kMbIconQuestion | kMbDefButton2);
    EXPECT_EQ(run.inUse.shutdowns, row.answer == kIdYes ? 1 : 0);
    EXPECT_EQ(run.dir.Read("app/app.dll"), row.copied ? "new" : "old");
    EXPECT_EQ(run.inUse.pending.size(), row.pending);
    if (row.pending > 0) {
      // Held for reading only: the new file waits beside it.
      EXPECT_EQ(run.inUse.pending[0].target, run.dir / "app/app.dll");
      EXPECT_EQ(run.dir.Read("app/" + run.Reserved().at(0)), "new");
    } else {
      EXPECT_TRUE(run.Reserved().empty());
    }
  }
}

// One question a run, however many files are held: after Yes the programs
// it named are closed for later files without asking; a program it did not
// name is never closed; after No nothing more is asked.
TEST_F(InUseTest, OneQuestionARun) {
  Choose(true, false);
  // A list of 1,000 names, some of them files, two of them held.
  for (int i = 0; i < 1000; i += 50)
    dir.Write("many/f" + std::to_string(i) + ".txt", "old");
  dir.Write("src/f500.txt", "new");
  dir.Write("src/f900.txt", "new");
  Hold("many/f500.txt", "Editor");
  Hold("many/f900.txt", "Editor");
  Hold("app/app.dll", "Other");
  platform.boxAnswers = {kIdYes};
  for (int i = 0; i < 1000; ++i) {
    if (i != 500 && i != 900) {
      EXPECT_TRUE(Delete("many/f" + std::to_string(i) + ".txt"));
    }
  }
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_TRUE(Copy("src/*.txt", "many/"));
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(dir.Read("many/f500.txt"), "new");
  EXPECT_EQ(dir.Read("many/f900.txt"), "new");
  EXPECT_FALSE(Copy("new.dll", "app/app.dll"));  // "Other" was not named
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(inUse.closed, std::vector<std::string>{"Editor"});

  FakeInUse other;
  inUse = other;
  platform.boxes.clear();
  InUsePlatform fresh(holding, inUse);
  Platform freshRun = platform.WithFiles(fresh);
  Runtime second(freshRun);
  fresh.Attach(second);
  second.inUseClose = true;
  Hold("many/f500.txt", "Editor");
  Hold("many/f900.txt", "Editor");
  platform.boxAnswers = {kIdNo};
  EXPECT_FALSE(DeleteTree(freshRun, StrBuf((dir / "many/f500.txt").c_str())));
  EXPECT_FALSE(DeleteTree(freshRun, StrBuf((dir / "many/f900.txt").c_str())));
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(inUse.shutdowns, 0);
}

// RESTART: a file that can be renamed goes aside and the new one takes its
// place; one that cannot gets the new file beside it; a delete renames
// aside or registers the file itself; a moved source that is held is
// copied and goes at the restart.
TEST_F(InUseTest, RestartReplacesOrRegisters) {
  Choose(false, true);
  Hold("app/app.dll", "Loaded", Share::kReadDelete);
  Hold("app/other.dll", "Reader", Share::kRead);
  EXPECT_TRUE(Copy("new.dll", "app/app.dll"));
  EXPECT_EQ(dir.Read("app/app.dll"), "new");
  ASSERT_EQ(inUse.pending.size(), 1u);
  EXPECT_EQ(inUse.pending[0].target, "");
  EXPECT_EQ(dir.Read("app/" + inUse.pending[0].path.substr(
                                  (dir / "app/").size())),
            "old");

  EXPECT_TRUE(Copy("new.dll", "app/other.dll"));
  EXPECT_EQ(dir.Read("app/other.dll"), "other old");
  ASSERT_EQ(inUse.pending.size(), 2u);
  EXPECT_EQ(inUse.pending[1].target, dir / "app/other.dll");
  EXPECT_EQ(Reserved().size(), 2u);
  // The run's own walks never meet what it set aside (a later COPY of the
  // folder would take it along).
  DirEntry entry;
  auto search = guarded.StartSearch((dir / "app/*").c_str(), entry);
  ASSERT_TRUE(search);
  do EXPECT_NE(entry.name.rfind(kInUseReservedPrefix, 0), 0u) << entry.name;
  while (search->Next(entry));

  dir.Write("app/gone.txt", "x");
  dir.Write("app/kept.txt", "x");
  Hold("app/gone.txt", "Loaded", Share::kReadDelete);
  Hold("app/kept.txt", "Reader", Share::kRead);
  EXPECT_TRUE(Delete("app/gone.txt"));
  EXPECT_FALSE(dir.Exists("app/gone.txt"));
  EXPECT_TRUE(Delete("app/kept.txt"));
  EXPECT_TRUE(dir.Exists("app/kept.txt"));
  EXPECT_EQ(inUse.pending.back().path, dir / "app/kept.txt");
  EXPECT_EQ(inUse.pending.size(), 4u);

  dir.Write("src/moved.txt", "m");
  Hold("src/moved.txt", "Reader", Share::kRead);
  EXPECT_TRUE(Move("src/moved.txt", "app/moved.txt"));
  EXPECT_EQ(dir.Read("app/moved.txt"), "m");
  EXPECT_EQ(inUse.pending.back().path, dir / "src/moved.txt");
  EXPECT_TRUE(platform.boxes.empty());
}

// A folder deleted while a file in it waits for the restart is removed
// after that file; the walk never trips over the file set aside.
TEST_F(InUseTest, RestartDeletesATreeAroundAHeldFile) {
  Choose(false, true);
  Hold("app/app.dll", "Loaded", Share::kReadDelete);
  EXPECT_TRUE(Delete("app"));
  ASSERT_EQ(inUse.pending.size(), 2u);
  EXPECT_EQ(inUse.pending[1].path, dir / "app");
  EXPECT_FALSE(dir.Exists("app/other.dll"));

  // A tree moved away from a held file: the file is copied, and the file
  // and then its folder go at the restart.
  dir.Write("old/sub/held.txt", "h");
  dir.Write("old/sub/free.txt", "f");
  Hold("old/sub/held.txt", "Reader", Share::kRead);
  EXPECT_TRUE(Move("old", "moved"));
  EXPECT_EQ(dir.Read("moved/sub/held.txt"), "h");
  EXPECT_EQ(dir.Read("moved/sub/free.txt"), "f");
  ASSERT_EQ(inUse.pending.size(), 5u);
  EXPECT_EQ(inUse.pending[2].path, dir / "old/sub/held.txt");
  EXPECT_EQ(inUse.pending[3].path, dir / "old/sub");
  EXPECT_EQ(inUse.pending[4].path, dir / "old");
}

// Without the right to register, a held file fails as before: the old
// file in place, nothing registered, no reserved name left.
TEST_F(InUseTest, NoRightsLosesNothing) {
  Choose(true, true);
  inUse.mayRegister = false;
  platform.boxAnswers = {kIdNo};
  Hold("app/app.dll", "Loaded", Share::kReadDelete);
  Hold("app/other.dll", "Reader", Share::kRead);
  dir.Write("src/moved.txt", "m");
  Hold("src/moved.txt", "Reader", Share::kRead);
  EXPECT_FALSE(Copy("new.dll", "app/app.dll"));
  EXPECT_FALSE(Copy("new.dll", "app/other.dll"));
  EXPECT_FALSE(Delete("app/app.dll"));
  EXPECT_FALSE(Move("src/moved.txt", "app/moved.txt"));
  EXPECT_EQ(dir.Read("app/app.dll"), "old");
  EXPECT_EQ(dir.Read("app/other.dll"), "other old");
  EXPECT_EQ(dir.Read("src/moved.txt"), "m");
  EXPECT_FALSE(dir.Exists("app/moved.txt"));
  EXPECT_TRUE(Reserved().empty());
  EXPECT_TRUE(inUse.pending.empty());
}

// A file that fails for another reason (missing source, a read-only
// destination) is not in use: no question.
TEST_F(InUseTest, OtherFailuresAreNotInUse) {
  Choose(true, true);
  EXPECT_FALSE(Copy("none.dll", "app/app.dll"));
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(inUse.listings, 0);
}

// The end of the run: closed programs are started again whatever the
// outcome; a completed run that registered says so; a stopped run with
// rollback takes back its own registrations and no other.
TEST_F(InUseTest, EndOfTheRun) {
  Choose(true, true);
  Hold("app/app.dll", "App", Share::kRead);
  platform.boxAnswers = {kIdYes};
  EXPECT_TRUE(Copy("new.dll", "app/app.dll"));
  FinishInUse(rt, true);
  EXPECT_EQ(inUse.restartCalls, 1);
  EXPECT_EQ(inUse.restarted, std::vector<std::string>{"App"});
  EXPECT_FALSE(rt.restartRequired);  // nothing registered
  EXPECT_EQ(platform.boxes.size(), 1u);

  inUse.pending = {{"C:\\other\\a", ""}};
  Hold("app/other.dll", "Reader", Share::kRead, false);
  EXPECT_TRUE(Copy("new.dll", "app/other.dll"));
  FinishInUse(rt, true);
  EXPECT_TRUE(rt.restartRequired);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[1].style, kMbOk | kMbIconInformation);

  rt.rollbackWanted = true;
  FinishInUse(rt, false);
  ASSERT_EQ(inUse.pending.size(), 1u);
  EXPECT_EQ(inUse.pending[0].path, "C:\\other\\a");
}

}  // namespace

namespace {

// With ROLLBACK=1: a saved copy that a program still holds when the run
// completes is deleted at the restart instead of staying; without RESTART
// it stays, as before.
TEST(InUseRollback, SavedCopyInUseGoesAtTheRestart) {
  for (bool restart : {true, false}) {
    SCOPED_TRACE(restart);
    TestDir dir;
    dir.Write("updater.ini", "[UPDATER]\n");
    dir.Write("app/app.dll", "old");
    dir.Write("new.dll", "new");
    FakeInUse inUse;
    FakePlatform platform;
    HoldingFiles holding(platform, inUse);
    RollbackPlatform journaled(holding, platform);
    InUsePlatform guarded(journaled, inUse);
    Platform run = platform.WithFiles(guarded);
    Runtime rt(run);
    rt.rollback = &journaled;
    rt.inUse = &guarded;
    rt.inUseRestart = restart;
    guarded.Attach(rt);
    FakeInUse::Hold hold;
    hold.program = "Loaded";
    hold.share = Share::kReadDelete;
    inUse.holds[dir / "app/app.dll"] = hold;
    TestDir state;
    setenv("UPDATER_STATE_HOME", state.path().c_str(), 1);
    ASSERT_EQ(journaled.Take((dir / "updater.ini").c_str()),
              RollbackPlatform::Claim::kTaken);
    ASSERT_TRUE(journaled.Begin());
    // Rollback renames the loaded file aside before it copies: no
    // registration is needed for the copy itself.
    ASSERT_TRUE(CopyTree(run, StrBuf((dir / "new.dll").c_str()),
                         StrBuf((dir / "app/app.dll").c_str())));
    EXPECT_TRUE(inUse.pending.empty());
    journaled.Commit();
    ASSERT_EQ(inUse.pending.size(), restart ? 1u : 0u);
    if (restart) {
      EXPECT_NE(inUse.pending[0].path.find(kRollbackReservedPrefix),
                std::string::npos);
      EXPECT_EQ(inUse.pending[0].target, "");
    }
    EXPECT_EQ(dir.Read("app/app.dll"), "new");
    journaled.Release();
    unsetenv("UPDATER_STATE_HOME");
  }
}

}  // namespace
