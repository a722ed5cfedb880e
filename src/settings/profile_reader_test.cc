#include "settings/profile_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// ANSI is UTF-8 here: the conversion keeps the text, and remembers what it
// was given.
struct Recorder {
  Strings given;
  Utf8ToAnsiFunction Function() {
    return [this](const std::string& utf8) {
      given.push_back(utf8);
      return utf8;
    };
  }
};

std::string Utf16(const std::u16string& text, bool bom = true) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string Key(const ProfileReader& reader, const char* section,
                const char* key, uint32_t size = 259) {
  std::vector<char> buffer(size + 1, '#');
  uint32_t n = reader.ReadKey(section, key, "NO_DATA", buffer.data(), size);
  EXPECT_EQ(buffer[size], '#') << "written past the buffer";
  return std::string(buffer.data(), n);
}

Strings Lines(const ProfileReader& reader, const char* section) {
  std::vector<char> buffer(4096, '#');
  reader.ReadSectionLines(section, buffer.data(), 4096);
  Strings lines;
  for (const char* p = buffer.data(); *p != 0; p += std::string(p).size() + 1)
    lines.push_back(p);
  return lines;
}

TEST(ProfileEncodingTest, DecidedFromTheBytes) {
  struct Case {
    std::string bytes;
    ProfileEncoding encoding;
  } cases[] = {
      {"", ProfileEncoding::kAnsi},
      {"[S]\r\nA=1\r\n", ProfileEncoding::kAnsi},
      {"[S]\nA=\xE6\x97\xA5\xE6\x9C\xAC", ProfileEncoding::kUtf8},
      {"\xEF\xBB\xBF", ProfileEncoding::kUtf8Bom},
      {"\xEF\xBB\xBF[S]\nA=\xFF", ProfileEncoding::kUtf8Bom},
      {"\xFF\xFE", ProfileEncoding::kUtf16Bom},
      {"\xFF\xFE[\0", ProfileEncoding::kUtf16Bom},
      {"\xEF\xBB", ProfileEncoding::kAnsi},
      {"\xFE\xFF\0[", ProfileEncoding::kAnsi},  // big-endian: not decoded
      // Shift-JIS 日本語, and not UTF-8 that merely looks like it:
      {"A=\x93\xFA\x96\x7B\x8C\xEA", ProfileEncoding::kAnsi},
      {"A=\xC0\x80", ProfileEncoding::kAnsi},          // overlong
      {"A=\xE0\x80\xAF", ProfileEncoding::kAnsi},      // overlong
      {"A=\xED\xA0\x80", ProfileEncoding::kAnsi},      // surrogate
      {"A=\xF4\x90\x80\x80", ProfileEncoding::kAnsi},  // above U+10FFFF
      {"A=\xE6\x97", ProfileEncoding::kAnsi},          // cut short
      {"A=\xE6\x97\xA5\x80", ProfileEncoding::kAnsi},  // stray trail byte
      {"A=\xF0\x9F\x98\x80", ProfileEncoding::kUtf8},  // four bytes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DetectProfileEncoding(c.bytes), c.encoding)
        << testing::PrintToString(c.bytes);
  }
}

TEST(ProfileEncodingTest, Utf16SurrogatesOddBytesAndNuls) {
  auto decode = [](const std::string& bytes) {
    return Utf16LeToUtf8(bytes.data(), bytes.size());
  };
  EXPECT_EQ(decode(Utf16(u"a\u65E5", false)), "a\xE6\x97\xA5");
  EXPECT_EQ(decode(Utf16(u"\U0001F600", false)), "\xF0\x9F\x98\x80");
  // Unpaired surrogates become U+FFFD, one for each.
  const std::string kReplacement = "\xEF\xBF\xBD";
  EXPECT_EQ(decode(Utf16(std::u16string(1, 0xD83D) + u"x", false)),
            kReplacement + "x");
  EXPECT_EQ(decode(Utf16(std::u16string(1, 0xDE00) + u"x", false)),
            kReplacement + "x");
  EXPECT_EQ(decode(Utf16(std::u16string{0xD83D, 0xD83D, 0xDE00}, false)),
            kReplacement + "\xF0\x9F\x98\x80");
  EXPECT_EQ(decode(Utf16(std::u16string(1, 0xD83D), false)), kReplacement);
  // An odd last byte is dropped; U+0000 stays a NUL.
  EXPECT_EQ(decode(Utf16(u"ab", false) + "c"), "ab");
  EXPECT_EQ(decode(Utf16(std::u16string(u"a\0b", 3), false)),
            std::string("a\0b", 3));
}

TEST(ProfileReaderTest, EachEncodingGivesTheSameValues) {
  const std::u16string text =
      u"\uFEFF[\u8A2D\u5B9A]\r\nNAME = \"\u65E5\u672C\u8A9E\"\r\n"
      u"PROC=\u624B\u9806\r\n[S]\r\nK=v";
  const std::string units = Utf16(text, false);
  // UTF-8 with EF BB BF first, UTF-8 without, UTF-16LE with FF FE.
  const std::string utf8 = Utf16LeToUtf8(units.data(), units.size());
  const std::string files[] = {utf8, utf8.substr(3), Utf16(text.substr(1))};
  for (const std::string& bytes : files) {
    Recorder recorder;
    ProfileReader reader(bytes, recorder.Function(), CodePage());
    EXPECT_NE(reader.encoding(), ProfileEncoding::kAnsi);
    EXPECT_EQ(Key(reader, "\xE8\xA8\xAD\xE5\xAE\x9A", "name"),
              "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
    EXPECT_EQ(Key(reader, "\xE8\xA8\xAD\xE5\xAE\x9A", "PROC"),
              "\xE6\x89\x8B\xE9\xA0\x86");
    EXPECT_EQ(Key(reader, "s", "k"), "v");
    EXPECT_EQ(Lines(reader, "S"), Strings{"K=v"});
    for (const std::string& piece : recorder.given) {
      EXPECT_EQ(piece.find('\0'), std::string::npos);
      EXPECT_NE(piece.compare(0, 3, "\xEF\xBB\xBF"), 0) << "BOM not skipped";
    }
  }
}

TEST(ProfileReaderTest, EmptyAndBomOnlyFilesHoldNothing) {
  for (const std::string& bytes : {std::string(), std::string("\xEF\xBB\xBF"),
                                  std::string("\xFF\xFE"),
                                  std::string("\xFF\xFE\x5B")}) {
    Recorder recorder;
    ProfileReader reader(bytes, recorder.Function(), CodePage());
    EXPECT_EQ(reader.text(), "");
    EXPECT_EQ(Key(reader, "S", "A"), "NO_DATA");
    EXPECT_EQ(Lines(reader, "S"), Strings{});
  }
}

TEST(ProfileReaderTest, NulsEndValuesAndAreNotConverted) {
  Recorder recorder;
  ProfileReader reader(Utf16(std::u16string(u"[S]\nA=x\0y\nB=\u00E9", 14)),
                       recorder.Function(), CodePage());
  EXPECT_EQ(Key(reader, "S", "A"), "x");
  EXPECT_EQ(Key(reader, "S", "B"), "\xC3\xA9");
  EXPECT_EQ(recorder.given.size(), 2u);
}

TEST(ProfileReaderTest, InvalidUtf8IsReadAsAnsiUnchanged) {
  Recorder recorder;
  const std::string bytes = "[S]\nA=\x93\xFA\x96\x7B\xFF\n\xED\xA0\x80";
  ProfileReader reader(bytes, recorder.Function(), CodePage());
  EXPECT_EQ(reader.encoding(), ProfileEncoding::kAnsi);
  EXPECT_TRUE(recorder.given.empty());
  EXPECT_EQ(reader.text(), bytes);
  EXPECT_EQ(Key(reader, "S", "A"), "\x93\xFA\x96\x7B\xFF");
}

}  // namespace
