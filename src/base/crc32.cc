// The CRC-32 of ITU-T V.42, ZIP and PNG: the processor's carry-less
// multiplication where there is one, and sliced tables otherwise.
#include "base/crc32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Reflected polynomial of CRC-32.
constexpr uint32_t kPolynomial = 0xEDB88320u;

// Sixteen tables for the sliced loop: table 0 is the classic byte table;
// entry i of table k is the checksum step of byte i followed by k zero
// bytes. Built at compile time, so nothing is built or locked at run time.
struct CrcTables {
  uint32_t t[16][256];
};

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit)
      c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    tables.t[0][i] = c;
  }
  for (int k = 1; k < 16; ++k)
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t prev = tables.t[k - 1][i];
      tables.t[k][i] = (prev >> 8) ^ tables.t[0][prev & 0xFF];
    }
  return tables;
}

constexpr CrcTables kTables = MakeTables();
static_assert(kTables.t[0][1] == 0x77073096u, "CRC-32 table");
static_assert(kTables.t[0][255] == 0x2D02EF8Du, "CRC-32 table");

inline uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

// The running (not complemented) register over length bytes, sixteen bytes
// per step with the sliced tables.
uint32_t Crc32TableUpdate(uint32_t crc, const unsigned char* p, size_t length) {
  const auto& t = kTables.t;
  while (length >= 16) {
    const uint32_t a = Load32(p) ^ crc;
    const uint32_t b = Load32(p + 4);
    const uint32_t c = Load32(p + 8);
    const uint32_t d = Load32(p + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^
          t[12][a >> 24] ^ t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^
          t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^ t[7][c & 0xFF] ^
          t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^
          t[0][d >> 24];
    p += 16;
    length -= 16;
  }
  while (length-- > 0) crc = (crc >> 8) ^ t[0][(*p++ ^ crc) & 0xFF];
  return crc;
}

#if defined(__x86_64__) || defined(__i386__)
// Carry-less multiplication folding (Intel, "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ"): four 128-bit lanes are folded
// forward 64 bytes at a time, then into one lane, then reduced to 32 bits
// with a Barrett reduction. The constants are x^k mod P for the reflected
// polynomial, shifted for the reflected bit order.
#define CLMUL_TARGET __attribute__((target("pclmul,sse2")))

CLMUL_TARGET static inline __m128i Load128(const unsigned char* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// One lane carried forward: its low half times the low constant, its high
// half times the high constant.
CLMUL_TARGET static inline __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00),
                       _mm_clmulepi64_si128(x, k, 0x11));
}

// Takes the register over blocks (at least one) of 64 bytes. On 32-bit x86
// the stack is realigned: Windows keeps it only 4-byte aligned.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
CLMUL_TARGET static uint32_t
ClmulUpdate(uint32_t crc, const unsigned char* p, size_t blocks) {
  const __m128i k1k2 = _mm_set_epi64x(0x1C6E41596LL, 0x154442BD4LL);
  const __m128i k3k4 = _mm_set_epi64x(0x0CCAA009ELL, 0x1751997D0LL);
  const __m128i k5 = _mm_set_epi64x(0, 0x163CD6124LL);
  const __m128i poly = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i x0 =
      _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load128(p + 16);
  __m128i x2 = Load128(p + 32);
  __m128i x3 = Load128(p + 48);
  for (p += 64; --blocks > 0; p += 64) {
    x0 = _mm_xor_si128(Fold(x0, k1k2), Load128(p));
    x1 = _mm_xor_si128(Fold(x1, k1k2), Load128(p + 16));
    x2 = _mm_xor_si128(Fold(x2, k1k2), Load128(p + 32));
    x3 = _mm_xor_si128(Fold(x3, k1k2), Load128(p + 48));
  }
  x0 = _mm_xor_si128(Fold(x0, k3k4), x1);
  x0 = _mm_xor_si128(Fold(x0, k3k4), x2);
  x0 = _mm_xor_si128(Fold(x0, k3k4), x3);

  // 128 bits to 64.
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, k3k4, 0x10),
                     _mm_srli_si128(x0, 8));
  // 64 bits to 32.
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, mask32), k5, 0x00),
                     _mm_srli_si128(x0, 4));
  // Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, mask32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
  t = _mm_xor_si128(t, x0);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(t, 4)));
}

static bool HasClmul() {
  static const bool has =
      __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return has;
}
#endif

namespace {

uint32_t Update(uint32_t crc, const unsigned char* p, size_t length) {
#if defined(__x86_64__) || defined(__i386__)
  if (length >= 128 && HasClmul()) {
    const size_t blocks = length / 64;
    crc = ClmulUpdate(crc, p, blocks);
    p += blocks * 64;
    length -= blocks * 64;
  }
#endif
  return Crc32TableUpdate(crc, p, length);
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, uint32_t length) {
  if (data == nullptr) return crc;
  return ~Update(~crc, static_cast<const unsigned char*>(data), length);
}

uint32_t Crc32(const void* data, uint32_t length) {
  return Crc32Update(0, data, length);
}

