#include "commands/crc.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "platform/fake/test_dir.h"

namespace {

// The running register (not complemented) after bytes, bit by bit, without
// any table.
uint32_t ReferenceStep(uint32_t crc, const unsigned char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

uint32_t ReferenceCrc(const unsigned char* p, size_t n) {
  return ~ReferenceStep(~0u, p, n);
}

// The register's step over zero bits is linear over GF(2): a 32x32 matrix,
// one column per register bit. n zero bytes are the byte step's n-th power,
// taken by squaring, so gigabytes of zeros cost a few hundred products.
struct Gf2Matrix {
  uint32_t column[32];
};

uint32_t Times(const Gf2Matrix& m, uint32_t v) {
  uint32_t out = 0;
  for (int i = 0; v != 0; ++i, v >>= 1)
    if (v & 1) out ^= m.column[i];
  return out;
}

Gf2Matrix Times(const Gf2Matrix& a, const Gf2Matrix& b) {
  Gf2Matrix out;
  for (int i = 0; i < 32; ++i) out.column[i] = Times(a, b.column[i]);
  return out;
}

uint32_t ReferenceZeros(uint32_t crc, uint64_t n) {
  Gf2Matrix step;  // one zero bit
  step.column[0] = 0xEDB88320u;
  for (int i = 1; i < 32; ++i) step.column[i] = 1u << (i - 1);
  for (int i = 0; i < 3; ++i) step = Times(step, step);  // one zero byte
  for (; n != 0; n >>= 1) {
    if (n & 1) crc = Times(step, crc);
    step = Times(step, step);
  }
  return crc;
}

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32Update(Crc32("1234", 4), "56789", 5), 0xCBF43926u);
}

TEST(Crc32Test, SlicedLoopEqualsBitwiseAtEveryLengthAndAlignment) {
  std::mt19937 random(12345);
  std::vector<unsigned char> data(4096 + 64);
  for (auto& b : data) b = static_cast<unsigned char>(random());
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length : {0, 1, 3, 15, 16, 17, 63, 64, 127, 128, 129, 191, 192,
                          255, 1001, 4095}) {
      const unsigned char* p = data.data() + offset;
      ASSERT_EQ(Crc32(p, static_cast<uint32_t>(length)),
                ReferenceCrc(p, length))
          << "offset " << offset << " length " << length;
      // The table path alone, whatever the processor offers.
      ASSERT_EQ(~Crc32TableUpdate(~0u, p, length), ReferenceCrc(p, length));
    }
  }
  // Streaming in uneven pieces gives the one-shot value.
  uint32_t crc = 0;
  size_t done = 0;
  for (size_t piece = 1; done < 4096; piece = piece * 3 + 1) {
    const size_t n = std::min(piece, 4096 - done);
    crc = Crc32Update(crc, data.data() + done, static_cast<uint32_t>(n));
    done += n;
  }
  EXPECT_EQ(crc, ReferenceCrc(data.data(), 4096));
}

class CrcFileTest : public ::testing::Test {
 protected:
  CrcFileTest() : rt(platform) {}
  std::string Path(const std::string& name) { return dir / name; }
  bool Execute(const std::string& files, const char* type,
               const std::string& expected, uint8_t& flag) {
    CrcProcedure record;
    record.name.Assign("Check");
    record.FILE.Assign(files.c_str());
    record.TYPE.Assign(type);
    record.CRC.Assign(expected.c_str());
    const bool result = ExecuteCrc(rt, record);
    flag = record.ResultFlag;
    return result;
  }
  TestDir dir;
  FakePlatform platform;
  Runtime rt;
};

TEST_F(CrcFileTest, FileChecksumNeedsARegularNonEmptyFile) {
  dir.Write("digits", "123456789");
  dir.Write("empty", "");
  dir.Write("sub/x", "x");
  uint32_t crc = 0;
  ASSERT_TRUE(FileCrc32(rt, Path("digits").c_str(), crc));
  EXPECT_EQ(crc, 0xCBF43926u);
  crc = 7;
  EXPECT_FALSE(FileCrc32(rt, Path("empty").c_str(), crc));
  EXPECT_FALSE(FileCrc32(rt, Path("missing").c_str(), crc));
  EXPECT_FALSE(FileCrc32(rt, Path("sub").c_str(), crc));
  EXPECT_EQ(crc, 7u);
}

TEST_F(CrcFileTest, FileLargerThanFourGigabytesIsReadWhole) {
  // The reference for long zero runs agrees with the bitwise one.
  const std::vector<unsigned char> zeros(1000, 0);
  ASSERT_EQ(~ReferenceZeros(~0u, zeros.size()),
            ReferenceCrc(zeros.data(), zeros.size()));

  // A sparse file a little over 4 GiB: random bytes at its start, across
  // the 4 GiB mark and at its end, holes between them. Its size modulo
  // 2^32 is 1 MiB + 3, so a size or offset kept in 32 bits reads a
  // different file. In memory where the system has a memory file system:
  // its holes are read as fast as memory is copied.
  TestDir where(access("/dev/shm", W_OK) == 0
                    ? std::string("/dev/shm")
                    : std::filesystem::temp_directory_path().string());
  const std::string big = where / "big";
  const uint64_t size = (4ull << 30) + (1u << 20) + 3;
  struct Piece {
    uint64_t at;
    size_t length;
  };
  const Piece pieces[] = {
      {0, 4096}, {(4ull << 30) - 1000, 2000}, {size - 777, 777}};
  std::mt19937 random(99);
  uint32_t expected = 0;
  {
    const int fd = open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    uint32_t crc = ~0u;
    uint64_t done = 0;
    for (const Piece& piece : pieces) {
      std::vector<unsigned char> data(piece.length);
      for (auto& b : data) b = static_cast<unsigned char>(random());
      ASSERT_EQ(pwrite(fd, data.data(), data.size(),
                       static_cast<off_t>(piece.at)),
                static_cast<ssize_t>(data.size()));
      crc = ReferenceZeros(crc, piece.at - done);
      crc = ReferenceStep(crc, data.data(), data.size());
      done = piece.at + piece.length;
    }
    ASSERT_EQ(done, size);
    ASSERT_EQ(close(fd), 0);
    expected = ~crc;
  }
  uint32_t crc = 0;
  ASSERT_TRUE(FileCrc32(rt, big.c_str(), crc));
  EXPECT_EQ(crc, expected);
}

TEST_F(CrcFileTest, ReportShowsEachFileUntilOneCannotBeRead) {
  dir.Write("a", "123456789");
  dir.Write("c", "abc");
  const std::string a = Path("a");
  const std::string b = Path("b");
  const std::string c = Path("c");
  uint8_t flag = 9;
  EXPECT_TRUE(Execute(a + " , " + b + "," + c, "", "", flag));
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_EQ(platform.boxes[0].text,
            "PROC\t: Check\nFILE\t: " + a + "\nCRC32\t: 0xCBF43926");
  EXPECT_EQ(platform.boxes[0].style, kMbIconInformation);
  EXPECT_EQ(platform.boxes[1].text,
            "PROC\t: Check\nFILE\t: " + b + "\nCRC32\t: GetFileData Error.");
  EXPECT_EQ(platform.boxes[1].style, kMbIconError);

  platform.boxes.clear();
  EXPECT_TRUE(Execute(a + "," + c, "AND", ",", flag));
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_NE(platform.boxes[1].text.find("0x352441C2"), std::string::npos);
}

TEST_F(CrcFileTest, AllModeNeedsEveryFileToMatch) {
  dir.Write("a", "123456789");
  dir.Write("c", "abc");
  const std::string a = Path("a");
  const std::string two = a + "," + Path("c");
  uint8_t flag = 0;
  EXPECT_TRUE(Execute(two, "and", "0xCBF43926, 352441c2", flag));
  EXPECT_EQ(flag, 1);
  EXPECT_TRUE(Execute(two, "AND", "cbf43926,352441C3", flag));
  EXPECT_EQ(flag, 0);
  EXPECT_TRUE(Execute(Path("missing") + "," + a, "AND", "0,CBF43926", flag));
  EXPECT_EQ(flag, 0);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(CrcFileTest, OneModeNeedsOneMatchAndAReportLastDecides) {
  dir.Write("a", "123456789");
  dir.Write("c", "abc");
  dir.Write("e", "");
  const std::string a = Path("a");
  const std::string c = Path("c");
  const std::string e = Path("e");
  uint8_t flag = 0;
  EXPECT_TRUE(Execute(e + "," + a + "," + c, "OR", "0,CBF43926,1", flag));
  EXPECT_EQ(flag, 1);
  // An empty file is unreadable, never checksum 0.
  EXPECT_TRUE(Execute(e + "," + a, "", "0,1", flag));
  EXPECT_EQ(flag, 0);
  // Mismatches are passed over; the report of the last item sets the flag.
  EXPECT_TRUE(Execute(a + "," + c, "", "1", flag));
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].style, kMbIconInformation);
}

}  // namespace
