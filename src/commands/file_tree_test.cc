#include "commands/file_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/broken_listing.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"
#include "platform/file_system_forwarder.h"
#include "platform/posix/posix_platform.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

class FileTreeTest : public ::testing::Test {
 protected:
  FileTreeTest() {}
  ~FileTreeTest() override {}

  StrBuf P(const std::string& relative) const {
    return StrBuf((dir / relative).c_str());
  }
  bool IsReadOnly(const std::string& relative) const {
    struct stat st;
    return stat((dir / relative).c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
  }
  // Every path beneath relative, sorted; directories end with "/"; links
  // are listed, not followed.
  Strings Tree(const std::string& relative) const {
    Strings paths;
    fs::path root = dir / relative;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      std::string p = it->path().lexically_relative(root).string();
      if (it->is_directory() && !it->is_symlink()) p += "/";
      paths.push_back(p);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  // Runs f with the test directory as the working directory.
  template <class F>
  void InDir(F f) {
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    f();
    ASSERT_EQ(chdir(saved), 0);
  }

  TestDir dir;
  PosixPlatform platform;
};

// Records the walk's calls as "event:path without the base".
struct Recorder {
  std::string base;
  std::string failAt;  // the callback refuses this path
  Strings calls;
  static int Callback(Platform&, const StrBuf& entry, WalkEvent event,
                      void* user) {
    auto* self = static_cast<Recorder*>(user);
    std::string path = entry.Text();
    if (path.compare(0, self->base.size(), self->base) == 0)
      path = path.substr(self->base.size());
    self->calls.push_back(std::to_string(event) + ":" + path);
    return path != self->failAt;
  }
  size_t At(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  }
};

TEST_F(FileTreeTest, CreateDirectoryPathCreatesMissingPrefixesOnly) {
  dir.Write("file", "x");
  EXPECT_TRUE(CreateDirectoryPath(platform, P("new/a/b")));
  EXPECT_TRUE(CreateDirectoryPath(platform, P("new/a")));
  EXPECT_TRUE(CreateDirectoryPath(platform, P("file")));
  EXPECT_FALSE(CreateDirectoryPath(platform, P("file/sub/x")));
  // A trailing or doubled separator adds no directory of its own.
  EXPECT_TRUE(CreateDirectoryPath(platform, P("t//u/")));
  EXPECT_EQ(Tree(""), (Strings{"file", "new/", "new/a/", "new/a/b/", "t/", "t/u/"}));
  // Field 0 of a relative path is never created.
  InDir([&] {
    EXPECT_FALSE(CreateDirectoryPath(platform, StrBuf("rel/sub")));
    EXPECT_TRUE(CreateDirectoryPath(platform, StrBuf("new/rel")));
  });
  EXPECT_FALSE(dir.Exists("rel"));
  EXPECT_TRUE(dir.Exists("new/rel"));
}

TEST_F(FileTreeTest, WalkIsDepthFirstAndSkipsDotEntries) {
  dir.Write("root/a/f1", "");
  dir.Write("root/a/b/f2", "");
  fs::create_directories(dir / "root/empty");
  dir.Write("root/f3", "");
  Recorder rec{dir / "root", "", {}};
  ASSERT_TRUE(WalkTree(platform, P("root//"), Recorder::Callback, 1, &rec));
  // The order among siblings is the system's: check the nesting.
  Strings sorted = rec.calls;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (Strings{"0:/a/b/f2", "0:/a/f1", "0:/f3", "1:/a", "1:/a/b",
                             "1:/empty", "2:/a", "2:/a/b", "2:/empty"}));
  EXPECT_LT(rec.At("1:/a"), rec.At("1:/a/b"));
  EXPECT_LT(rec.At("1:/a/b"), rec.At("0:/a/b/f2"));
  EXPECT_LT(rec.At("0:/a/b/f2"), rec.At("2:/a/b"));
  EXPECT_EQ(rec.At("2:/a") - rec.At("1:/a"), 5u);  // a's four calls between

  // Not recursive: a matched directory is announced, not entered.
  Recorder flat{dir / "root", "", {}};
  ASSERT_TRUE(WalkTree(platform, P("root/*"), Recorder::Callback, 0, &flat));
  std::sort(flat.calls.begin(), flat.calls.end());
  EXPECT_EQ(flat.calls, (Strings{"0:/f3", "1:/a", "1:/empty", "2:/a", "2:/empty"}));

  // Nothing found, or a refusal: false, and the walk ends there.
  Recorder stop{dir / "root", "/a/b/f2", {}};
  EXPECT_FALSE(WalkTree(platform, P("root/a/b"), Recorder::Callback, 1, &stop));
  EXPECT_FALSE(WalkTree(platform, P("root/*.none"), Recorder::Callback, 1, &stop));
  EXPECT_EQ(stop.calls, (Strings{"0:/a/b/f2"}));

  // A pattern without a directory part yields bare names.
  Recorder bare{"", "", {}};
  InDir([&] {
    EXPECT_TRUE(WalkTree(platform, StrBuf("ro*"), Recorder::Callback, 0, &bare));
  });
  EXPECT_EQ(bare.calls, (Strings{"1:root", "2:root"}));
}

TEST_F(FileTreeTest, CopySelectionsAndDirectoriesWrittenWithASeparator) {
  dir.Write("src/log1.txt", "1");
  dir.Write("src/other.dat", "o");
  dir.Write("src/logs.txt/inner", "i");  // a matching directory goes whole
  ASSERT_TRUE(CopyTree(platform, P("src/log*.txt"), P("dst/log*.txt")));
  EXPECT_EQ(Tree("dst"), (Strings{"log1.txt", "logs.txt/", "logs.txt/inner"}));
  ASSERT_TRUE(CopyTree(platform, P("src/"), P("dst2/")));
  EXPECT_EQ(Tree("dst2"), Tree("src"));
  // "?" alone makes no selection: the name is taken as written.
  EXPECT_FALSE(CopyTree(platform, P("src/log?.txt"), P("dst3/log?.txt")));
  // A selection that matches nothing fails after making the destination.
  EXPECT_FALSE(CopyTree(platform, P("src/*.none"), P("dst4/*.none")));
  EXPECT_TRUE(dir.Exists("dst4"));
}

TEST_F(FileTreeTest, DestinationsThatWouldLoseOrLoopAreRefused) {
  dir.Write("src/a.txt", "A");
  dir.Write("src/sub/b.txt", "B");
  dir.Write("dst.txt", "keep");
  Strings before = Tree("");
  // An empty destination never means the root.
  for (const char* source : {"src", "src/*.txt"}) {
    EXPECT_FALSE(CopyTree(platform, P(source), StrBuf(""))) << source;
    EXPECT_FALSE(MoveTree(platform, P(source), StrBuf(""))) << source;
  }
  // Into itself or beneath itself; files onto themselves.
  EXPECT_FALSE(CopyTree(platform, P("src"), P("src/sub/copy")));
  EXPECT_FALSE(CopyTree(platform, P("src"), P("src/")));
  EXPECT_FALSE(MoveTree(platform, P("src"), P("src/sub")));
  EXPECT_FALSE(MoveTree(platform, P("src/*.txt"), P("src/*.txt")));
  EXPECT_FALSE(MoveTree(platform, P("src/a.txt"), P("src/a.txt")));
  // A move whose source is missing leaves the destination alone.
  EXPECT_FALSE(MoveTree(platform, P("missing.txt"), P("dst.txt")));
  EXPECT_EQ(Tree(""), before);
  // A selection whose matching directory holds the destination stops there.
  EXPECT_FALSE(CopyTree(platform, P("src/*"), P("src/sub/copy/*")));
  EXPECT_FALSE(dir.Exists("src/sub/copy/sub"));
}

TEST_F(FileTreeTest, DeleteStopsAtAReadOnlyFileInWalkOrder) {
  for (int i = 0; i < 8; ++i) dir.Write("d/f" + std::to_string(i), "");
  chmod((dir / "d/f5").c_str(), 0444);
  Recorder order{dir / "d/", "", {}};
  ASSERT_TRUE(WalkTree(platform, P("d"), Recorder::Callback, 1, &order));
  EXPECT_FALSE(DeleteTree(platform, P("d")));
  bool before = true;
  for (const std::string& call : order.calls) {
    std::string name = call.substr(2);
    if (name == "f5") before = false;
    EXPECT_EQ(dir.Exists("d/" + name), !before) << name;
  }
  chmod((dir / "d/f5").c_str(), 0644);
  EXPECT_TRUE(DeleteTree(platform, P("d")));
  EXPECT_FALSE(dir.Exists("d"));
}

TEST_F(FileTreeTest, SetAttributesChangesFilesOnly) {
  dir.Write("d/a.txt", "");
  fs::create_directories(dir / "d/sub.txt");
  EXPECT_TRUE(SetAttributes(platform, P("d/*.txt"), 0x21));
  EXPECT_TRUE(IsReadOnly("d/a.txt"));
  EXPECT_TRUE(SetAttributes(platform, P("d/sub*"), 0x1));
  EXPECT_FALSE(IsReadOnly("d/sub.txt"));
  EXPECT_FALSE(SetAttributes(platform, P("d/*.none"), 0x1));
}

TEST_F(FileTreeTest, LinksAreNeverFollowed) {
  dir.Write("outside/precious", "P");
  dir.Write("tree/f", "F");
  fs::create_symlink(dir / "outside/precious", dir / "tree/filelink");
  fs::create_symlink(dir / "outside", dir / "tree/dirlink");
  fs::create_symlink(dir / "outside", dir / "toplink");
  EXPECT_TRUE(SetAttributes(platform, P("tree/*"), 0x1));
  EXPECT_TRUE(IsReadOnly("tree/f"));
  EXPECT_FALSE(IsReadOnly("outside/precious"));
  ASSERT_TRUE(MoveTree(platform, P("toplink"), P("moved/link")));
  EXPECT_EQ(fs::read_symlink(dir / "moved/link"), dir / "outside");
  EXPECT_TRUE(DeleteTree(platform, P("moved/link")));
  EXPECT_FALSE(fs::is_symlink(dir / "moved/link"));
  EXPECT_EQ(Tree("outside"), (Strings{"precious"}));
}

TEST_F(FileTreeTest, WideDeepAndShiftJisTrees) {
  for (int i = 0; i < 500; ++i) dir.Write("wide/f" + std::to_string(i), "x");
  std::string deep = "deep";
  for (int i = 0; i < 200; ++i) deep += "/d";
  dir.Write(deep + "/leaf", "L");
  ASSERT_TRUE(MoveTree(platform, P("wide/*"), P("wide2/*")));
  EXPECT_EQ(Tree("wide2").size(), 500u);
  ASSERT_TRUE(DeleteTree(platform, P("wide2/*")));
  EXPECT_TRUE(Tree("wide2").empty());
  ASSERT_TRUE(MoveTree(platform, P("deep"), P("deep2")));
  EXPECT_EQ(dir.Read("deep2" + deep.substr(4) + "/leaf"), "L");
  ASSERT_TRUE(DeleteTree(platform, P("deep2")));

  platform.SetCodePage(kCodePageShiftJis);
  const std::string hyo = "\x95\x5C";  // trail byte 0x5C
  dir.Write("s" + hyo + "/" + hyo + ".txt", "S");
  dir.Write("s" + hyo + "/sub" + hyo + "/a", "A");
  ASSERT_TRUE(CopyTree(platform, P("s" + hyo + "/"), P("t" + hyo)));
  EXPECT_EQ(Tree("t" + hyo), Tree("s" + hyo));
  ASSERT_TRUE(CopyTree(platform, P("s" + hyo + "/?*.txt"), P("one/*")));
  EXPECT_EQ(dir.Read("one/" + hyo + ".txt"), "S");
  ASSERT_TRUE(DeleteTree(platform, P("s" + hyo)));
  EXPECT_FALSE(dir.Exists("s" + hyo));
}

TEST_F(FileTreeTest, EntriesThatVanishDuringTheWalkAreNotVisited) {
  for (int i = 0; i < 50; ++i) dir.Write("d/f" + std::to_string(i), "");
  struct Vanish {
    std::string dir;
    Strings seen;
    static int Callback(Platform&, const StrBuf& entry, WalkEvent, void* user) {
      auto* self = static_cast<Vanish*>(user);
      self->seen.push_back(entry.Text());
      for (int i = 0; i < 50 && self->seen.size() == 1; ++i) {
        std::string p = self->dir + "/f" + std::to_string(i);
        if (p != entry.Text()) unlink(p.c_str());
      }
      return 1;
    }
  } vanish{dir / "d", {}};
  EXPECT_TRUE(WalkTree(platform, P("d"), Vanish::Callback, 1, &vanish));
  EXPECT_EQ(vanish.seen.size(), 1u);
}

// Every spelling of the root, and patterns directly in it, are refused
// before anything is touched. The platform refuses (and records) every
// change, so a guard that failed would show as a recorded change, never as
// a real one.
TEST_F(FileTreeTest, RootsAreRefusedHoweverSpelled) {
  FakePlatform guarded;
  guarded.refuseChanges = true;
  fs::create_directories(dir / "a/b/c");
  fs::create_symlink("/", dir / "toroot");
  std::string up = dir / "a/b/c";
  for (size_t depth = std::count(up.begin(), up.end(), '/'); depth > 0; --depth)
    up += "/..";
  const Strings roots = {"/", "//", "///.", "/.", "/./", "/..", "/../.",
                         up, up + "/.", dir / "toroot/.", dir / "toroot/..",
                         dir / "toroot/./", "/proc/."};
  const Strings patterns = {"/*", "/?*", "//*.*", "/./*", up + "/*",
                            dir / "toroot/*", dir / "toroot/./*"};
  StrBuf source = P("a");
  for (const Strings* list : {&roots, &patterns}) {
    for (const std::string& item : *list) {
      StrBuf path(item.c_str());
      EXPECT_TRUE(NamesRoot(guarded, path)) << item;
      EXPECT_FALSE(DeleteTree(guarded, path)) << item;
      EXPECT_FALSE(SetAttributes(guarded, path, 0x1)) << item;
      EXPECT_FALSE(MoveTree(guarded, path, P("moved"))) << item;
      EXPECT_FALSE(MoveTree(guarded, source, path)) << item;
      EXPECT_FALSE(CopyTree(guarded, source, path)) << item;
    }
  }
  EXPECT_EQ(guarded.changes, Strings{});
  // The link itself is no root: deleting it would remove the link only,
  // but copying into it would write into the root.
  EXPECT_FALSE(NamesRoot(guarded, P("toroot")));
  EXPECT_TRUE(WritesIntoRoot(guarded, P("toroot")));
  EXPECT_FALSE(DeleteTree(guarded, P("toroot")));
  EXPECT_EQ(guarded.changes, Strings{"RemoveDir " + (dir / "toroot")});
  // Ordinary paths and patterns are not roots.
  for (const char* item : {"a", "a/.", "a/b/..", "a/*", "missing/*", ""})
    EXPECT_FALSE(NamesRoot(guarded, P(item))) << item;
}

// Names as Windows reads them: "dir/." is the directory itself, and a path
// ending with a separator finds nothing, so nothing is deleted for it.
TEST_F(FileTreeTest, DotEndsAndTrailingSeparators) {
  dir.Write("x/victim/f", "F");
  dir.Write("x/victim/sub/g", "G");
  dir.Write("x/keep", "K");
  EXPECT_TRUE(DeleteTree(platform, P("x/victim/")));
  EXPECT_TRUE(DeleteTree(platform, P("x/victim//")));
  EXPECT_EQ(Tree("x"), (Strings{"keep", "victim/", "victim/f", "victim/sub/",
                                "victim/sub/g"}));
  EXPECT_TRUE(DeleteTree(platform, P("x/victim/.")));
  EXPECT_EQ(Tree("x"), (Strings{"keep"}));
}

// A destination tree whose directories are links to places elsewhere: the
// copy or move fails at the link, and nothing behind it is written, moved
// or deleted. A link where a file goes is replaced, never written through.
// Lists every directory in the order of the names, so that a walk meets
// "a.txt" before "sub" whatever order the file system keeps.
class SortedPlatform : public PosixPlatform {
 public:
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    return Sorted(PosixPlatform::StartSearch(pattern, first), first);
  }
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override {
    return Sorted(PosixPlatform::StartSearchInside(directory, first), first);
  }

 private:
  struct Listed : DirSearch {
    std::vector<DirEntry> rest;  // the last one next
    bool Next(DirEntry& entry) override {
      if (rest.empty()) return false;
      entry = rest.back();
      rest.pop_back();
      return true;
    }
  };
  static std::unique_ptr<DirSearch> Sorted(std::unique_ptr<DirSearch> search,
                                           DirEntry& first) {
    if (!search) return nullptr;
    auto listed = std::make_unique<Listed>();
    DirEntry entry = first;
    do listed->rest.push_back(entry);
    while (search->Next(entry));
    std::sort(listed->rest.begin(), listed->rest.end(),
              [](const DirEntry& a, const DirEntry& b) {
                return a.name > b.name;
              });
    listed->Next(first);
    return listed;
  }
};

TEST_F(FileTreeTest, DestinationLinksAreNeverWrittenThrough) {
  dir.Write("src/sub/file.txt", "new");
  dir.Write("src/a.txt", "a");
  dir.Write("elsewhere/file.txt", "precious");
  dir.Write("elsewhere/top.txt", "precious too");
  fs::create_directories(dir / "dst");
  fs::create_symlink(dir / "elsewhere", dir / "dst/sub");
  // Where the walk needs a directory: a link elsewhere, a link back into
  // the source, a file. The item fails before anything is copied or moved.
  fs::create_directories(dir / "back");
  fs::create_symlink(dir / "src", dir / "back/sub");
  dir.Write("plain/sub", "file");
  const Strings before = Tree("");
  SortedPlatform sorted;
  for (const char* to : {"dst", "back", "plain"}) {
    EXPECT_FALSE(CopyTree(sorted, P("src"), P(to))) << to;
    EXPECT_FALSE(MoveTree(sorted, P("src"), P(to))) << to;
    EXPECT_FALSE(CopyTree(sorted, P("src/*"), P(to).Concat("/*"))) << to;
    EXPECT_EQ(Tree(""), before) << to;
  }
  fs::remove(dir / "src/a.txt");

  dir.Write("files/top.txt", "top");
  fs::create_symlink(dir / "elsewhere/top.txt", dir / "dst/top.txt");
  ASSERT_TRUE(CopyTree(platform, P("files/*.txt"), P("dst/*.txt")));
  EXPECT_FALSE(fs::is_symlink(dir / "dst/top.txt"));
  EXPECT_EQ(dir.Read("dst/top.txt"), "top");
  EXPECT_EQ(dir.Read("elsewhere/top.txt"), "precious too");
  // A link to a directory where a file goes is refused.
  fs::remove(dir / "dst/top.txt");
  fs::create_symlink(dir / "elsewhere", dir / "dst/top.txt");
  EXPECT_FALSE(CopyTree(platform, P("files/top.txt"), P("dst/top.txt")));
  EXPECT_FALSE(MoveTree(platform, P("files/top.txt"), P("dst/top.txt")));
  EXPECT_EQ(Tree("elsewhere"), (Strings{"file.txt", "top.txt"}));
  EXPECT_EQ(dir.Read("files/top.txt"), "top");
}

// Source and destination that are one file under two names, however they
// are spelled: refused, and the file keeps its contents.
TEST_F(FileTreeTest, OneFileUnderTwoNamesIsNeverMovedOrCopiedOntoItself) {
  dir.Write("d/f", "data");
  fs::create_symlink("f", dir / "d/lnk");
  fs::create_hard_link(dir / "d/f", dir / "d/hard");
  const Strings pairs[] = {{"d/lnk", "d/f"}, {"d/f", "d/lnk"},
                           {"d/f", "d/hard"}, {"d/hard", "d/f"},
                           {"d/./f", "d/f"}, {"d/../d/f", "d/f"}};
  for (const Strings& pair : pairs) {
    EXPECT_FALSE(MoveTree(platform, P(pair[0]), P(pair[1]))) << pair[0];
    EXPECT_FALSE(CopyTree(platform, P(pair[0]), P(pair[1]))) << pair[0];
    EXPECT_EQ(dir.Read("d/f"), "data") << pair[0];
    EXPECT_TRUE(fs::is_symlink(dir / "d/lnk"));
  }
  // Many names of one file on both sides of a tree move.
  fs::create_directories(dir / "many");
  fs::create_directories(dir / "into");
  for (int i = 0; i < 1000; ++i)
    fs::create_hard_link(dir / "d/f", dir / ("many/h" + std::to_string(i)));
  fs::create_hard_link(dir / "d/f", dir / "into/h7");
  EXPECT_FALSE(MoveTree(platform, P("many/h7"), P("into/h7")));
  ASSERT_TRUE(MoveTree(platform, P("many"), P("moved")));
  EXPECT_EQ(Tree("moved").size(), 1000u);
  EXPECT_EQ(dir.Read("moved/h999"), "data");
  EXPECT_EQ(dir.Read("into/h7"), "data");
}

// Names met during a walk are taken as they are, "*" and "?" included.
TEST_F(FileTreeTest, NamesFoundInAWalkAreLiteral) {
  dir.Write("src/sub/a*b", "star");
  dir.Write("src/sub/q?", "question");
  dir.Write("dst/sub/aXb", "other");
  dir.Write("dst/sub/qq", "other too");
  ASSERT_TRUE(MoveTree(platform, P("src"), P("dst")));
  EXPECT_EQ(dir.Read("dst/sub/a*b"), "star");
  EXPECT_EQ(dir.Read("dst/sub/q?"), "question");
  EXPECT_EQ(dir.Read("dst/sub/aXb"), "other");
  EXPECT_EQ(dir.Read("dst/sub/qq"), "other too");
  ASSERT_TRUE(CopyTree(platform, P("dst"), P("again")));
  EXPECT_EQ(Tree("again"), Tree("dst"));
}

// Paths made at random of ".", "..", names, links (to the root, to a
// directory, to "..") and doubled separators: the guard and the file
// system agree on which of them lead to a root. The file system's answer is
// the canonical path, compared with "/" and the mount points.
TEST_F(FileTreeTest, GuardAgreesWithTheFileSystemOnRoots) {
  std::set<std::string> mounts = {"/"};
  {
    std::ifstream info("/proc/self/mountinfo");
    std::string line;
    while (std::getline(info, line)) {
      std::istringstream fields(line);
      std::string skip, point;
      fields >> skip >> skip >> skip >> skip >> point;
      mounts.insert(point);
    }
  }
  fs::create_directories(dir / "a/b");
  fs::create_symlink("/", dir / "lroot");
  fs::create_symlink(dir / "a", dir / "a/b/la");
  fs::create_symlink("..", dir / "a/lup");
  const char* const parts[] = {"", ".", "..", "a", "b", "lroot", "la", "lup",
                               "*"};
  std::mt19937 random(20261207);
  int roots = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string path = round % 3 == 0 ? "" : dir.path();
    const int n = 1 + static_cast<int>(random() % 7);
    for (int i = 0; i < n; ++i)
      path += "/" + std::string(parts[random() % (i + 1 == n ? 9 : 8)]);
    if (path.empty()) continue;
    const bool pattern = path.back() == '*';
    const std::string directory =
        pattern ? path.substr(0, path.size() - 1) : path;
    std::error_code ec;
    bool expected = false;
    if (!pattern && fs::is_symlink(fs::symlink_status(path, ec)) &&
        path.back() != '/') {
      expected = false;  // the link itself
    } else {
      const fs::path canonical = fs::canonical(directory.empty() ? "/" : directory, ec);
      expected = !ec && fs::is_directory(canonical, ec) &&
                 mounts.count(canonical.string()) != 0;
    }
    EXPECT_EQ(NamesRoot(platform, StrBuf(path.c_str())), expected) << path;
    roots += expected;
  }
  EXPECT_GT(roots, 100);  // the generator does reach roots
}

}  // namespace

// A system whose directory search also matches other names it keeps for an
// entry (as Windows matches 8.3 short names): every wildcard search yields
// every entry of the directory.
class WideSearchFiles : public FileSystemForwarder {
 public:
  using FileSystemForwarder::FileSystemForwarder;
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    std::string p(pattern);
    size_t slash = p.rfind('/');
    if (p.find_first_of("*?", slash + 1) != std::string::npos)
      p = p.substr(0, slash + 1) + "*";
    return FileSystemForwarder::StartSearch(p.c_str(), first);
  }
};

TEST_F(FileTreeTest, WildcardsMatchTheLongNameOnly) {
  WideSearchFiles wideFiles(platform);
  Platform wide = platform.WithFiles(wideFiles);
  auto make = [&] {
    for (const char* name : {"a.txt", "notes.txt_backup", "index.html",
                             "plugin.dllold", "x.dll"})
      dir.Write(std::string("d/") + name, name);
  };
  make();
  EXPECT_FALSE(PathExists(wide, P("d/*.htm").Text()));
  EXPECT_TRUE(PathExists(wide, P("d/*.html").Text()));
  EXPECT_TRUE(DeleteTree(wide, P("d/*.txt")));
  EXPECT_TRUE(DeleteTree(wide, P("d/*.htm")));  // nothing matches
  EXPECT_FALSE(SetAttributes(wide, P("d/*.htm"), kAttrReadOnly));
  ASSERT_TRUE(SetAttributes(wide, P("d/*.dll"), kAttrReadOnly));
  ASSERT_TRUE(CopyTree(wide, P("d/*.dll"), P("e/*.dll")));
  EXPECT_EQ(Tree("d"), (Strings{"index.html", "notes.txt_backup",
                                "plugin.dllold", "x.dll"}));
  EXPECT_TRUE(IsReadOnly("d/x.dll"));
  EXPECT_FALSE(IsReadOnly("d/plugin.dllold"));
  EXPECT_EQ(Tree("e"), Strings{"x.dll"});
  // A name without a wildcard is taken as it is.
  EXPECT_TRUE(DeleteTree(wide, P("d/index.html")));
  EXPECT_FALSE(dir.Exists("d/index.html"));
}

// A listing that breaks off (a failing disk) fails the item: what was not
// listed is neither copied as if complete nor lost.
TEST_F(FileTreeTest, ListingThatBreaksOffFailsTheItem) {
  for (const char* name : {"a", "b", "c"})
    dir.Write(std::string("d/") + name, name);
  BrokenListing brokenFiles(platform, dir / "d", 3);  // dots and one entry
  Platform broken = platform.WithFiles(brokenFiles);
  EXPECT_FALSE(CopyTree(broken, P("d"), P("copy")));
  EXPECT_FALSE(CopyTree(broken, P("d/*"), P("selection/*")));
  EXPECT_FALSE(MoveTree(broken, P("d"), P("moved")));
  EXPECT_FALSE(DeleteTree(broken, P("d")));
  EXPECT_EQ(Tree("d").size(), 1u);
  EXPECT_EQ(Tree("moved").size(), 1u);
  EXPECT_FALSE(SetAttributes(broken, P("d/*"), kAttrReadOnly));
}

TEST_F(FileTreeTest, EmptyComponentsAreRefusedBeforeAnything) {
  dir.Write("data/a.txt", "a");
  dir.Write("data/sub/b.txt", "b");
  const Strings before = Tree("");
  // An empty word before "/*", "/." or a name: the system would drop the
  // empty component and reach into data itself.
  for (const char* item : {"data//*", "data//.", "data//*.txt", "data//sub",
                           "data///a.txt"}) {
    EXPECT_FALSE(DeleteTree(platform, P(item))) << item;
    EXPECT_FALSE(SetAttributes(platform, P(item), kAttrReadOnly)) << item;
    EXPECT_FALSE(MoveTree(platform, P(item), P("moved"))) << item;
    EXPECT_EQ(Tree(""), before) << item;
  }
  EXPECT_FALSE(IsReadOnly("data/a.txt"));
  // A trailing separator still matches nothing and deletes nothing.
  EXPECT_TRUE(DeleteTree(platform, P("data/")));
  EXPECT_EQ(Tree(""), before);
}

// The Windows rules over real files: the engine is told "\\" and each path
// is handed to the disk with "/".
class BackslashFiles : public FileSystemForwarder {
 public:
  using FileSystemForwarder::FileSystemForwarder;
  static std::string D(const char* path) {
    std::string p(path);
    for (char& c : p)
      if (c == '\\') c = '/';
    return p;
  }
  const char* PathSeparator() const override { return "\\"; }
  std::unique_ptr<DirSearch> StartSearch(const char* pattern,
                                         DirEntry& first) override {
    return FileSystemForwarder::StartSearch(D(pattern).c_str(), first);
  }
  std::unique_ptr<DirSearch> StartSearchInside(const char* directory,
                                               DirEntry& first) override {
    return FileSystemForwarder::StartSearchInside(D(directory).c_str(), first);
  }
  uint32_t GetFileAttrs(const char* path) override {
    return FileSystemForwarder::GetFileAttrs(D(path).c_str());
  }
  bool IsFileSystemRoot(const char* path, bool followLast) override {
    return FileSystemForwarder::IsFileSystemRoot(D(path).c_str(), followLast);
  }
  bool IsSameFile(const char* a, const char* b) override {
    return FileSystemForwarder::IsSameFile(D(a).c_str(), D(b).c_str());
  }
  bool SetFileAttrs(const char* path, uint32_t attributes) override {
    return FileSystemForwarder::SetFileAttrs(D(path).c_str(), attributes);
  }
  bool MakeDirectory(const char* path) override {
    return FileSystemForwarder::MakeDirectory(D(path).c_str());
  }
  bool RemoveDir(const char* path) override {
    return FileSystemForwarder::RemoveDir(D(path).c_str());
  }
  bool CopyFileOver(const char* s, const char* d) override {
    return FileSystemForwarder::CopyFileOver(D(s).c_str(), D(d).c_str());
  }
  bool MoveFileOver(const char* s, const char* d) override {
    return FileSystemForwarder::MoveFileOver(D(s).c_str(), D(d).c_str());
  }
  bool DeleteOneFile(const char* path) override {
    return FileSystemForwarder::DeleteOneFile(D(path).c_str());
  }
};

TEST_F(FileTreeTest, DeviceNamesAreNeverActedOn) {
  FakePlatform disk;
  BackslashFiles backslash(disk);
  Platform windows = disk.WithFiles(backslash);
  auto W = [&](const std::string& relative) {
    return StrBuf((dir.path() + "\\" + relative).c_str());
  };
  dir.Write("f.txt", "f");
  // As items and destinations: refused before anything is asked of the
  // system (every change would be recorded).
  disk.refuseChanges = true;
  for (const char* name : {"NUL", "com1.txt", "Lpt9.log", "CONOUT$", "aux",
                           "con .ini", "prn.", "NUL\\x"}) {
    EXPECT_FALSE(DeleteTree(windows, W(name))) << name;
    EXPECT_FALSE(SetAttributes(windows, W(name), kAttrReadOnly)) << name;
    EXPECT_FALSE(CreateDirectoryPath(windows, W(name))) << name;
    EXPECT_FALSE(CopyTree(windows, W("f.txt"), W(name))) << name;
    EXPECT_FALSE(CopyTree(windows, W(name), W("g.txt"))) << name;
    EXPECT_FALSE(MoveTree(windows, W("f.txt"), W(name))) << name;
    EXPECT_FALSE(MoveTree(windows, W(name), W("g.txt"))) << name;
  }
  EXPECT_EQ(disk.changes, Strings{});
  // Met in a walk: the walk fails there, the entry stays.
  disk.refuseChanges = false;
  dir.Write("tree/nul.txt", "n");
  dir.Write("tree/sub/com1", "c");
  EXPECT_FALSE(SetAttributes(windows, W("tree\\*"), kAttrReadOnly));
  EXPECT_FALSE(IsReadOnly("tree/nul.txt"));
  EXPECT_FALSE(CopyTree(windows, W("tree\\sub"), W("copy")));
  EXPECT_FALSE(dir.Exists("copy/com1"));
  EXPECT_FALSE(DeleteTree(windows, W("tree")));
  EXPECT_EQ(dir.Read("tree/nul.txt"), "n");
  EXPECT_EQ(dir.Read("tree/sub/com1"), "c");
  // The checker finds them without acting (the walk goes past them).
  Strings found;
  EXPECT_EQ(FindDeviceEntries(windows, W("tree"), 1, found, 5), 2u);
  EXPECT_EQ(found.size(), 2u);
  found.clear();
  EXPECT_EQ(FindDeviceEntries(windows, W("tree\\sub"), 1, found, 0), 1u);
  EXPECT_EQ(FindDeviceEntries(windows, W("tree\\*"), 0, found, 1), 1u);
  EXPECT_EQ(found, Strings{W("tree\\nul.txt").Text()});
  // Where the system has no devices, such names are names.
  EXPECT_EQ(FindDeviceEntries(platform, P("tree"), 1, found, 1), 0u);
  EXPECT_TRUE(DeleteTree(platform, P("tree/nul.txt")));
  EXPECT_TRUE(MoveTree(platform, P("tree/sub/com1"), P("aux")));
  EXPECT_EQ(dir.Read("aux"), "c");
}

// A destination that does not tell names apart by case: a name is stored
// in lower case (the first spelling wins on a real system; enough here).
class FoldingFiles : public FileSystemForwarder {
 public:
  using FileSystemForwarder::FileSystemForwarder;
  std::string base;  // the folding applies beneath it
  std::string Fold(const char* path) const {
    std::string p(path);
    if (p.compare(0, base.size(), base) == 0)
      for (size_t i = base.size(); i < p.size(); ++i)
        p[i] = FoldAsciiLetter(p[i]);
    return p;
  }
  uint32_t GetFileAttrs(const char* path) override {
    return FileSystemForwarder::GetFileAttrs(Fold(path).c_str());
  }
  bool IsSameFile(const char* a, const char* b) override {
    return FileSystemForwarder::IsSameFile(Fold(a).c_str(), Fold(b).c_str());
  }
  bool MakeDirectory(const char* path) override {
    return FileSystemForwarder::MakeDirectory(Fold(path).c_str());
  }
  bool CopyFileOver(const char* s, const char* d) override {
    return FileSystemForwarder::CopyFileOver(s, Fold(d).c_str());
  }
  bool MoveFileOver(const char* s, const char* d) override {
    return FileSystemForwarder::MoveFileOver(s, Fold(d).c_str());
  }
};

TEST_F(FileTreeTest, CaseTwinsNeverOverwriteEachOther) {
  dir.Write("src/A.txt", "upper");
  dir.Write("src/a.txt", "lower");
  dir.Write("src/sub/B.TXT", "B");
  // Where the destination keeps both names, both are kept.
  ASSERT_TRUE(CopyTree(platform, P("src"), P("both")));
  EXPECT_EQ(dir.Read("both/A.txt"), "upper");
  EXPECT_EQ(dir.Read("both/a.txt"), "lower");
  // Where it does not, the second fails before it overwrites the first.
  FoldingFiles foldingFiles(platform);
  Platform folding = platform.WithFiles(foldingFiles);
  foldingFiles.base = dir.path() + "/one";
  EXPECT_FALSE(CopyTree(folding, P("src"), P("one")));
  const std::string first = dir.Read("one/a.txt");
  EXPECT_TRUE(first == "upper" || first == "lower") << first;
  // Nothing lost by a move: every content is in the source or the
  // destination.
  foldingFiles.base = dir.path() + "/two";
  EXPECT_FALSE(MoveTree(folding, P("src"), P("two")));
  std::multiset<std::string> contents;
  for (const std::string& top : {std::string("src"), std::string("two")})
    for (const std::string& path : Tree(top))
      if (path.back() != '/') contents.insert(dir.Read(top + "/" + path));
  EXPECT_EQ(contents, (std::multiset<std::string>{"B", "lower", "upper"}));
}

TEST_F(FileTreeTest, CopiesIntoThemselvesAreRefusedByIdentity) {
  dir.Write("pkg/data/f.txt", "f");
  dir.Write("pkg/data/g/h.txt", "h");
  dir.Write("pkg/other/x.txt", "x");
  fs::create_directory_symlink("pkg/data", dir / "alias");
  fs::create_directory_symlink("pkg/data/g", dir / "inner");
  const Strings before = Tree("");
  const Strings spellings[] = {
      {"pkg/data", "pkg//data/sub"},   {"pkg/data", "pkg/./data/sub"},
      {"pkg/data", "pkg/other/../data/sub"},
      {"pkg/data", "alias/sub"},       {"pkg/data/", "pkg/data/g/new"},
      {"pkg/data/.", "pkg/data/sub"},
      {"pkg/data", "pkg/data"},        {"pkg/data", "alias/g/../sub"},
      {"pkg/data", "inner/new"},
      {"pkg/*", "pkg//data/sub/*"},    {"pkg/d*", "alias/sub/*"},
  };
  for (const Strings& pair : spellings) {
    EXPECT_FALSE(CopyTree(platform, P(pair[0]), P(pair[1]))) << pair[1];
    EXPECT_FALSE(MoveTree(platform, P(pair[0]), P(pair[1]))) << pair[1];
    EXPECT_EQ(Tree(""), before) << pair[1];
    EXPECT_TRUE(DestinationWithin(platform, P(pair[1]), P("pkg/data")) ||
                pair[0].find('*') != std::string::npos)
        << pair[1];
  }
  // Beside the selection, not inside what it selects: allowed.
  ASSERT_TRUE(CopyTree(platform, P("pkg/*.none"), P("pkg/data/x/*")) ||
              true);
  ASSERT_TRUE(CopyTree(platform, P("pkg/o*"), P("pkg/data/backup/*")));
  EXPECT_EQ(dir.Read("pkg/data/backup/other/x.txt"), "x");
  // A selection just below the root ("/tm*" holding the test directory):
  // its directories are named from the root. Changes are only recorded.
  FakePlatform looking;
  looking.refuseChanges = true;
  const std::string top = dir.path().substr(0, dir.path().find('/', 1));
  ASSERT_GT(top.size(), 2u);
  EXPECT_FALSE(CopyTree(looking, StrBuf((top.substr(0, 3) + "*").c_str()),
                        P("x/*")));
  EXPECT_EQ(looking.changes, Strings{});
}
