#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/posix_files_fixture.h"

namespace {

TEST_F(PosixFilesTest, WildcardsHaveTheWindowsMeaning) {
  for (const char* name : {"a.txt", "B.TXT", "ab.txt", "readme", ".hidden"})
    dir.Write(name, "x");
  EXPECT_EQ(Search(P("*.txt")), (Names{"B.TXT", "a.txt", "ab.txt"}));
  EXPECT_EQ(Search(P("?.TxT")), (Names{"B.TXT", "a.txt"}));
  // "*.*" matches names without a dot too; "." and ".." come as on Windows.
  EXPECT_EQ(Search(P("*.*")), (Names{".", "..", ".hidden", "B.TXT", "a.txt",
                                     "ab.txt", "readme"}));
  EXPECT_EQ(Search(P("read*.*")), (Names{"readme"}));
  EXPECT_EQ(Search(P("*.doc")), (Names{"-"}));
  // A plain name is looked up as written; a trailing separator names nothing.
  EXPECT_EQ(Search(P("a.txt")), (Names{"a.txt"}));
  EXPECT_EQ(Search(P("A.txt")), (Names{"-"}));
  EXPECT_EQ(Search(dir.path() + "/"), (Names{"-"}));
  EXPECT_EQ(Search(""), (Names{"-"}));
  mkdir(P("empty"), 0777);
  EXPECT_EQ(Search(P("empty/*.*")), (Names{".", ".."}));

  // "?" is one whole character: three bytes in UTF-8, two in code page 932
  // (also when the trail byte is 0x5C or an ASCII letter, never folded).
  dir.Write("\xE8\xA1\xA8.u8", "x");
  EXPECT_EQ(Search(P("?.u8")), (Names{"\xE8\xA1\xA8.u8"}));
  platform.SetCodePage(kCodePageShiftJis);
  dir.Write("\x95\x5C.dat", "x");
  dir.Write("\x83\x61.dat", "y");
  EXPECT_EQ(Search(P("?.dat")), (Names{"\x83\x61.dat", "\x95\x5C.dat"}));
  EXPECT_EQ(Search(P("\x83\x41*")), (Names{"-"}));
  EXPECT_EQ(Search(P("??.dat")), (Names{"-"}));
}

TEST_F(PosixFilesTest, AttributesOfEntriesAndLinks) {
  dir.Write("f", "x");
  dir.Write("ro", "x");
  chmod(P("ro"), 0444);
  mkdir(P("d"), 0777);
  symlink(P("d"), P("ld"));
  symlink(P("f"), P("lf"));
  EXPECT_EQ(platform.GetFileAttrs(P("f")), kAttrArchive);
  EXPECT_EQ(platform.GetFileAttrs(P("ro")), kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(platform.GetFileAttrs(P("d/")), kAttrDirectory);
  EXPECT_EQ(platform.GetFileAttrs(P("lf")), kAttrArchive | kAttrReparsePoint);
  // The last component is never followed, not even with a trailing "/".
  EXPECT_EQ(platform.GetFileAttrs(P("ld/")), kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(platform.GetFileAttrs(P("f/")), kInvalidAttributes);
  EXPECT_EQ(platform.GetFileAttrs(""), kInvalidAttributes);
  // The search reports the same attributes.
  DirEntry entry;
  auto search = platform.StartSearch(P("*"), entry);
  ASSERT_TRUE(search);
  do {
    if (entry.name == "." || entry.name == "..") continue;
    EXPECT_EQ(entry.attributes, platform.GetFileAttrs(P(entry.name)))
        << entry.name;
  } while (search->Next(entry));
}

// A walk's delete acts on the search's own look at the entry, relative to
// the directory searched: the read-only rule holds, a link put in the
// directory's place meanwhile is not gone through, and a change the
// platform made since the look is not overlooked.
TEST_F(PosixFilesTest, DeleteOfAFoundEntryTakesTheSearchsLook) {
  dir.Write("d/plain", "x");
  dir.Write("d/ro", "x");
  dir.Write("d/late", "x");
  chmod(P("d/ro"), 0444);
  mkdir(P("d/sub"), 0777);
  dir.Write("other/plain", "keep");
  Names deleted;
  DirEntry entry;
  auto search = platform.StartSearchInside(P("d"), entry);
  ASSERT_TRUE(search);
  do {
    const std::string path = dir.path() + "/d/" + entry.name;
    if (entry.name == "late") {
      EXPECT_TRUE(platform.SetFileAttrs(path.c_str(), kAttrReadOnly));
    }
    if (entry.name != "plain" && platform.DeleteOneFile(path.c_str()))
      deleted.push_back(entry.name);
  } while (search->Next(entry));
  EXPECT_EQ(deleted, Names{});

  search = platform.StartSearchInside(P("d"), entry);
  ASSERT_TRUE(search);
  ASSERT_EQ(rename(P("d"), P("moved")), 0);
  ASSERT_EQ(symlink(P("other"), P("d")), 0);
  do {
    if (entry.name == "plain") {
      EXPECT_TRUE(platform.DeleteOneFile(P("d/plain")));
    }
  } while (search->Next(entry));
  EXPECT_FALSE(dir.Exists("moved/plain"));
  EXPECT_EQ(dir.Read("other/plain"), "keep");
  EXPECT_TRUE(dir.Exists("moved/ro"));
  EXPECT_TRUE(dir.Exists("moved/late"));
  EXPECT_TRUE(dir.Exists("moved/sub"));
}

}  // namespace
