#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/code_page.h"
#include "platform/fake/test_dir.h"
#include "platform/posix/posix_platform.h"
#include "settings/profile_cache.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& contents) {
    dir_.Write("settings.ini", contents);
    return path_;
  }

  std::string Key(const char* section, const char* key, uint32_t size = 259) {
    std::vector<char> buffer(size + 16, '#');
    uint32_t n = cache_.ReadKey(path_.c_str(), section, key, "NO_DATA",
                                buffer.data(), size);
    EXPECT_EQ(n, std::strlen(buffer.data()));
    EXPECT_EQ(buffer[size], '#') << "written past the buffer";
    return std::string(buffer.data(), n);
  }

  // The section's lines, and the count returned.
  std::vector<std::string> Lines(const char* section, uint32_t* count = nullptr,
                                 uint32_t size = 32767) {
    std::vector<char> buffer(size + 16, '#');
    uint32_t n = cache_.ReadSectionLines(path_.c_str(), section,
                                         buffer.data(), size);
    if (count != nullptr) *count = n;
    EXPECT_EQ(buffer[size], '#') << "written past the buffer";
    std::vector<std::string> lines;
    for (const char* p = buffer.data(); *p != 0; p += std::strlen(p) + 1)
      lines.push_back(p);
    return lines;
  }

  TestDir dir_;
  std::string path_ = dir_ / "settings.ini";
  PosixPlatform platform_;
  ProfileCache cache_{platform_, platform_.codePage()};
};

using Strings = std::vector<std::string>;

TEST_F(ProfileTest, NamesIgnoreCaseAndTheFirstOfAKindWins) {
  Write(
      "TOP=before any section\n"
      "[Updater]\n"
      "mode=first\n"
      "MODE=second\n"
      "[UPDATER]\n"
      "MODE=other section\n"
      "EXTRA=x\n"
      "[ Spaced ]\n"
      "  Key Name  =v\n");
  EXPECT_EQ(Key("UPDATER", "Mode"), "first");
  EXPECT_EQ(Key("updater", "EXTRA"), "NO_DATA");
  EXPECT_EQ(Key("Spaced", "key name"), "v");
  EXPECT_EQ(Key("UPDATER", "TOP"), "NO_DATA");
  EXPECT_EQ(Key("NONE", "MODE"), "NO_DATA");
  EXPECT_EQ(Lines("Updater"), (Strings{"mode=first", "MODE=second"}));
}

TEST_F(ProfileTest, ValuesLoseBlanksAndOnePairOfQuotes) {
  Write(
      "[S]\n"
      "A =  two  words \t\n"
      "DQ=\"  kept  \"\n"
      "SQ='single'\n"
      "NESTED=\"\"twice\"\"\n"
      "MIXED=\"open'\n"
      "LONE=\"\n"
      "EMPTYQ=\"\"\n"
      "EMPTY=\n"
      "EQ=a=b\n"
      "NOEQUALS\n");
  EXPECT_EQ(Key("S", "A"), "two  words");
  EXPECT_EQ(Key("S", "DQ"), "  kept  ");
  EXPECT_EQ(Key("S", "SQ"), "single");
  EXPECT_EQ(Key("S", "NESTED"), "\"twice\"");
  EXPECT_EQ(Key("S", "MIXED"), "\"open'");
  EXPECT_EQ(Key("S", "LONE"), "\"");
  EXPECT_EQ(Key("S", "EMPTYQ"), "");
  EXPECT_EQ(Key("S", "EMPTY"), "");
  EXPECT_EQ(Key("S", "EQ"), "a=b");
  EXPECT_EQ(Key("S", "NOEQUALS"), "NO_DATA");
}

TEST_F(ProfileTest, LineEndsByteOrderMarkAndMissingFinalNewline) {
  Write("\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\rC=3\n\r\nD=4");
  EXPECT_EQ(Key("S", "A"), "1");
  EXPECT_EQ(Key("S", "B"), "2");
  EXPECT_EQ(Key("S", "C"), "3");
  EXPECT_EQ(Key("S", "D"), "4");
  EXPECT_EQ(Lines("S"), (Strings{"A=1", "B=2", "C=3", "D=4"}));
}

TEST_F(ProfileTest, ValuesAreCutToTheBufferSize) {
  Write("[S]\nLONG=" + std::string(300, 'x') + "\n");
  EXPECT_EQ(Key("S", "LONG"), std::string(258, 'x'));
  EXPECT_EQ(Key("S", "LONG", 1), "");
  EXPECT_EQ(Key("S", "MISSING", 4), "NO_");

  // A double-byte character is not split by the cut.
  platform_.SetCodePage(kCodePageShiftJis);
  Write("[S]\nJ=a\x82\xA0\x82\xA2\n");
  EXPECT_EQ(Key("S", "J", 5), "a\x82\xA0");
  EXPECT_EQ(Key("S", "J", 6), "a\x82\xA0\x82\xA2");
}

TEST_F(ProfileTest, SectionLinesAreHandedOverAsWritten) {
  Write(
      "[DEFINE]\n"
      "  <A> = 1 \n"
      ";comment=x\n"
      "\n"
      "   \t\n"
      "no equals sign\n"
      "<B>=2\n"
      "[define]\n"
      "<C>=3\n"
      "[Empty]\n"
      "[Next]\n"
      "X=1\n");
  uint32_t count = 0;
  Strings expected{"  <A> = 1 ", ";comment=x", "no equals sign", "<B>=2"};
  EXPECT_EQ(Lines("define", &count), expected);
  EXPECT_EQ(count, 11u + 11 + 15 + 6);
  EXPECT_EQ(Lines("Empty", &count), Strings{});
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Lines("Missing", &count), Strings{});
}

TEST_F(ProfileTest, SectionListCutKeepsTwoTerminators) {
  Write("[S]\nAAAA\nBBBB\n");
  uint32_t count = 0;
  EXPECT_EQ(Lines("S", &count, 11), (Strings{"AAAA", "BBBB"}));
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(Lines("S", &count, 10), (Strings{"AAAA", "BBB"}));
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(Lines("S", &count, 6), (Strings{"AAAA"}));
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(Lines("S", &count, 2), Strings{});
  EXPECT_EQ(count, 0u);
  char one = '#';
  EXPECT_EQ(cache_.ReadSectionLines(path_.c_str(), "S", &one, 1), 0u);
  EXPECT_EQ(one, 0);
}

TEST_F(ProfileTest, UnreadableFilesGiveTheDefault) {
  path_ = dir_ / "missing.ini";
  EXPECT_EQ(Key("S", "A"), "NO_DATA");
  EXPECT_EQ(Lines("S"), Strings{});
  path_ = dir_.path();  // a directory
  EXPECT_EQ(Key("S", "A"), "NO_DATA");
  path_ = dir_ / "settings.ini";
  Write("");
  EXPECT_EQ(Key("S", "A"), "NO_DATA");
}

TEST_F(ProfileTest, BadInputIsReadWithoutHarm) {
  static const char kBinary[] = "[S]\nA=x\0y\nB=2\n\0=\n[T]\n\xFF\xFE\0\0\n";
  std::string binary(kBinary, sizeof kBinary - 1);
  Write(binary + "C=" + std::string(100 * 1024, 'c') + "\nD=4");
  EXPECT_EQ(Key("S", "A"), "x");
  EXPECT_EQ(Key("S", "B"), "2");
  EXPECT_EQ(Lines("S"), (Strings{"A=x", "B=2"}));
  EXPECT_EQ(Key("T", "C"), std::string(258, 'c'));
  EXPECT_EQ(Key("T", "D"), "4");
  uint32_t count = 0;
  Strings lines = Lines("T", &count);
  EXPECT_EQ(count, 32765u);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].size(), 32765u - 3);
}

TEST_F(ProfileTest, LargeFileIsReadOnceForManyKeys) {
  std::string text;
  for (int i = 0; text.size() < (1u << 20); ++i) {
    text += "[P" + std::to_string(i) +
            "]\nMODE=COPY\nFROM=a,b,c\nTO=" + std::string(40, 'd') + "\n";
  }
  text += "[LAST]\nMODE=END\n";
  Write(text);
  EXPECT_EQ(Key("LAST", "MODE"), "END");
  for (int i = 0; i < 2000; ++i) {
    std::string section = "P" + std::to_string(i * 7);
    ASSERT_EQ(Key(section.c_str(), "FROM"), "a,b,c");
  }
  EXPECT_EQ(cache_.Parses(), 1u);
}

// A modification time far from now decides nothing: the file is parsed once
// and, once the clock has passed its change time, no more read at all; a
// change that keeps its size and date is still seen.
TEST_F(ProfileTest, FileDatedAnyTimeIsParsedOnceAndItsChangesSeen) {
  const time_t dates[] = {0, 4102444800};  // 1970-01-01, 2099-12-31
  for (time_t date : dates) {
    SCOPED_TRACE(date);
    ProfileCache cache(platform_, platform_.codePage());
    auto key = [&](const char* name) {
      char value[16];
      cache.ReadKey(path_.c_str(), "S", name, "", value, sizeof value);
      return std::string(value);
    };
    auto write = [&](const char* contents) {
      Write(contents);
      timespec times[2] = {{date, 0}, {date, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    };
    write("[S]\nA=1\nB=2\n");
    for (int i = 0; i < 1000; ++i)
      ASSERT_EQ(key(i % 2 ? "A" : "B"), i % 2 ? "1" : "2");
    EXPECT_EQ(cache.Parses(), 1u);

    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    key("A");
    const uint64_t comparisons = cache.Comparisons();
    for (int i = 0; i < 1000; ++i) key("A");
    EXPECT_EQ(cache.Comparisons(), comparisons);
    EXPECT_EQ(cache.Parses(), 1u);

    write("[S]\nA=3\nB=4\n");
    EXPECT_EQ(key("A"), "3");
    EXPECT_EQ(cache.Parses(), 2u);
  }
}

// When a file's identity vouches for the contents read from it.
TEST(ProfileStampTest, IdentityIsTrustedOnceNoLaterChangeCanShareTheStamp) {
  constexpr int64_t kSecond = 1000000000;
  constexpr int64_t kMs = 1000000;
  const int64_t now = 1700000000 * kSecond;
  FileLook look;
  look.wallClock = now + 500 * kMs;
  look.steadyClock = 42 * kSecond;
  const int64_t seen = look.steadyClock;  // first seen at this read
  auto later = [&](int64_t by) {
    FileLook l = look;
    l.steadyClock += by;
    return l;
  };

  // Stamped before the wall clock's tick: trusted at once.
  EXPECT_TRUE(ProfileStampTrusted(now + 499 * kMs, look, seen));
  // Stamped in the tick of the read, or ahead of the clock (a clock set
  // back, another machine's): trusted once the stamp's tick is over.
  for (int64_t stamp : {now + 500 * kMs, now + 3600 * kSecond + 1,
                        9000000000 * kSecond + 1 /* the farthest kept */}) {
    EXPECT_FALSE(ProfileStampTrusted(stamp, look, seen));
    EXPECT_FALSE(ProfileStampTrusted(stamp, later(10 * kMs), seen));
    EXPECT_TRUE(ProfileStampTrusted(stamp, later(50 * kMs), seen));
  }
  // A stamp of whole seconds may be cut from any time in the next two.
  EXPECT_FALSE(ProfileStampTrusted(now - kSecond, look, seen));
  EXPECT_TRUE(ProfileStampTrusted(now - 2 * kSecond, look, seen));
  EXPECT_FALSE(ProfileStampTrusted(now + 60 * kSecond, later(kSecond), seen));
  EXPECT_TRUE(
      ProfileStampTrusted(now + 60 * kSecond, later(2 * kSecond), seen));
}

TEST_F(ProfileTest, ChangedFileIsReadAgain) {
  Write("[S]\nA=1\n");
  // Let the file's times fall behind the clock so that the parsed file is
  // trusted until it changes.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Key("S", "A"), "1");
  EXPECT_EQ(Key("S", "A"), "1");

  struct stat before;
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  Write("[S]\nA=2\n");  // same size
  timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);  // same mtime
  EXPECT_EQ(Key("S", "A"), "2");

  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Key("S", "A"), "2");
  Write("[S]\nA=345\n");
  EXPECT_EQ(Key("S", "A"), "345");

  ASSERT_EQ(std::remove(path_.c_str()), 0);
  EXPECT_EQ(Key("S", "A"), "NO_DATA");
}

// Under Shift-JIS every decoded file gives the bytes of the Shift-JIS file:
// the UTF-8 one no longer loses its next line to a lead byte.
TEST_F(ProfileTest, EveryEncodingIsReadInTheAnsiCodePage) {
  platform_.SetCodePage(kCodePageShiftJis);
  const std::string nameSjis = "\x93\xFA\x96\x7B\x8C\xEA";       // 日本語
  const std::string nameUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
  const std::string procUtf8 = "\xE6\x89\x8B\xE9\xA0\x86";       // 手順
  const std::string procSjis = "\x8E\xE8\x8F\x87";
  const std::string hangul = "\xED\x95\x9C";  // no Shift-JIS form
  auto utf16 = [](const std::string& utf8) {
    // Only the characters used here: ASCII and three-byte UTF-8.
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
      unsigned c = static_cast<unsigned char>(utf8[i]);
      if (c >= 0xE0) {
        c = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) |
            (utf8[i + 2] & 0x3F);
        i += 3;
      } else {
        ++i;
      }
      out += static_cast<char>(c & 0xFF);
      out += static_cast<char>(c >> 8);
    }
    return out;
  };
  const std::string utf8 = "[UPDATER]\r\nNAME=" + nameUtf8 + "\r\nPROC=" +
                           procUtf8 + "\r\nX=" + hangul + "\r\n[" + procUtf8 +
                           "]\r\nMODE=END\r\n";
  const std::string files[] = {utf8, "\xEF\xBB\xBF" + utf8, utf16(utf8)};
  for (const std::string& bytes : files) {
    Write(bytes);
    EXPECT_EQ(Key("UPDATER", "NAME"), nameSjis);
    EXPECT_EQ(Key("UPDATER", "PROC"), procSjis);
    EXPECT_EQ(Key("UPDATER", "X"), "?");
    EXPECT_EQ(Key(procSjis.c_str(), "MODE"), "END");
  }
  Write("[UPDATER]\r\nNAME=" + nameSjis + "\r\nPROC=" + procSjis + "\r\n");
  EXPECT_EQ(Key("UPDATER", "NAME"), nameSjis);
  EXPECT_EQ(Key("UPDATER", "PROC"), procSjis);

  // Grown past the buffer by the conversion: cut before a whole character.
  std::string longUtf8 = "a";
  for (int i = 0; i < 130; ++i) longUtf8 += "\xE6\x97\xA5";  // 日
  Write("\xFF\xFE" + utf16("[S]\nV=" + longUtf8).substr(2));
  std::string cut = "a";
  for (int i = 0; i < 128; ++i) cut += "\x93\xFA";
  EXPECT_EQ(Key("S", "V"), cut);  // 257 bytes, not 258

  platform_.SetCodePage(kCodePageUtf8);
  // With UTF-8 as the ANSI code page the text stays UTF-8, cut likewise.
  Write("[S]\nV=" + longUtf8 + "\n");
  EXPECT_EQ(Key("S", "V"), longUtf8.substr(0, 1 + 85 * 3));
  Write(utf16("[S]\nV=" + longUtf8));
  EXPECT_EQ(Key("S", "V"), longUtf8.substr(0, 1 + 85 * 3));
}

// A decoded file kept parsed is compared with the bytes it was read from.
TEST_F(ProfileTest, DecodedFileIsComparedWithItsBytes) {
  Write(std::string("\xFF\xFE[\0S\0]\0\n\0A\0=\0""1\0", 16));
  EXPECT_EQ(Key("S", "A"), "1");
  EXPECT_EQ(Key("S", "A"), "1");
  EXPECT_EQ(cache_.Parses(), 1u);
}

}  // namespace
