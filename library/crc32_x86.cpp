// Carry-less-multiply folding for x86 processors with PCLMULQDQ, and with VPCLMULQDQ on
// 256-bit registers where there is AVX2 and on 512-bit ones where there is AVX-512. The library
// is built for the baseline instruction set; only the folding functions are compiled for these
// extensions, and each is offered only once the processor has said it has them.
//
// The wide paths leave no upper register halves dirty: each ends with vzeroupper before it
// hands its last 128 bits to the finishing code, which is built for SSE, as the callers may be.
#include <cpuid.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

#include "crc32_engines.h"

namespace korvale {
namespace {

// The register is reflected: its bit 0 holds the highest power of x. Here the polynomial is
// written the other way round, bit i the coefficient of x^i.
constexpr uint64_t kPolynomial = 0x104C11DB7;

constexpr uint64_t reflect(uint64_t value, int width) {
  uint64_t result = 0;
  for (int i = 0; i < width; ++i) result |= ((value >> i) & 1) << (width - 1 - i);
  return result;
}

// x^n mod P, reflected and shifted left by one (the product of two reflected values comes
// out one bit short): multiplying by it moves a 64-bit lane forward by n - 64 bits.
constexpr uint64_t foldConstant(int n) {
  uint64_t remainder = 1;
  for (int i = 0; i < n; ++i) {
    remainder <<= 1;
    if (remainder >> 32) remainder ^= kPolynomial;
  }
  return reflect(remainder, 32) << 1;
}

// floor(x^64 / P), reflected over its 33 bits: Barrett reduction's estimate of the quotient.
constexpr uint64_t barrettQuotient() {
  uint64_t quotient = 0, remainder = 0;
  for (int bit = 64; bit >= 0; --bit) {  // long division, one dividend bit at a time
    remainder = (remainder << 1) | (bit == 64 ? 1 : 0);
    if (remainder >> 32) {
      remainder ^= kPolynomial;
      quotient |= uint64_t{1} << bit;
    }
  }
  return reflect(quotient, 33);
}

// Multipliers for the low and the high lane of a 128-bit register.
alignas(16) constexpr uint64_t kFoldBy512[2] = {foldConstant(4 * 128 + 32),
                                                foldConstant(4 * 128 - 32)};
alignas(16) constexpr uint64_t kFoldBy128[2] = {foldConstant(128 + 32), foldConstant(128 - 32)};
alignas(16) constexpr uint64_t kFold64[2] = {foldConstant(64), 0};
alignas(16) constexpr uint64_t kBarrett[2] = {reflect(kPolynomial, 33), barrettQuotient()};

// For wider registers: the pair of multipliers repeated in each of their 128-bit lanes.
template <std::size_t lanes>
constexpr std::array<uint64_t, 2 * lanes> eachLane(uint64_t low, uint64_t high) {
  std::array<uint64_t, 2 * lanes> pairs{};
  for (std::size_t lane = 0; lane < lanes; ++lane)
    pairs[2 * lane] = low, pairs[2 * lane + 1] = high;
  return pairs;
}
alignas(32) constexpr auto kFoldBy1024 = eachLane<2>(foldConstant(8 * 128 + 32),
                                                     foldConstant(8 * 128 - 32));
alignas(32) constexpr auto kFoldBy256 = eachLane<2>(foldConstant(2 * 128 + 32),
                                                    foldConstant(2 * 128 - 32));
alignas(64) constexpr auto kFoldBy2048 = eachLane<4>(foldConstant(16 * 128 + 32),
                                                     foldConstant(16 * 128 - 32));
alignas(64) constexpr auto kFoldBy512Wide = eachLane<4>(kFoldBy512[0], kFoldBy512[1]);
// Moves each lane onto the last: by 384, 256 and 128 bits, and the last one not at all.
alignas(64) constexpr std::array<uint64_t, 8> kFoldLanesToLast = [] {
  std::array<uint64_t, 8> lanes{};
  for (int lane = 0; lane < 3; ++lane) {
    const int distance = (3 - lane) * 128;
    lanes[2 * lane] = foldConstant(distance + 32);
    lanes[2 * lane + 1] = foldConstant(distance - 32);
  }
  return lanes;
}();

#define KORVALE_CLMUL __attribute__((target("pclmul")))

KORVALE_CLMUL __m128i constant(const uint64_t (&pair)[2]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(pair));
}

KORVALE_CLMUL __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Moves `x` forward by the distance that `k` stands for and adds `next` there.
KORVALE_CLMUL __m128i fold(__m128i x, __m128i k, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(x, k, 0x00), high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// The register after the 16-byte blocks of `n` bytes at `p` are folded into `x`, which holds
// everything before them.
KORVALE_CLMUL uint32_t finish(__m128i x, const uint8_t* p, std::size_t n) {
  const __m128i by128 = constant(kFoldBy128);
  for (; n >= 16; p += 16, n -= 16) x = fold(x, by128, load(p));

  // 128 bits to 64: the low lane moves forward onto the high one.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  x = _mm_xor_si128(_mm_clmulepi64_si128(x, by128, 0x10), _mm_srli_si128(x, 8));
  // 64 bits to 32, followed by the 32 zero bits that the register's width appends.
  x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), constant(kFold64), 0x00),
                    _mm_srli_si128(x, 4));
  // Barrett reduction: subtract floor(x / P) * P, estimated through the quotient of x^64 / P.
  const __m128i barrett = constant(kBarrett);
  __m128i q = _mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10);
  q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), barrett, 0x00);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x, q), 4)));
}

// The register after the `n` bytes at `p`; n is at least 64 and a multiple of 16.
KORVALE_CLMUL uint32_t foldBlocks(uint32_t reg, const uint8_t* p, std::size_t n) {
  // Four independent 128-bit lanes hide the multiplier's latency.
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  const __m128i by512 = constant(kFoldBy512);
  for (p += 64, n -= 64; n >= 64; p += 64, n -= 64) {
    x0 = fold(x0, by512, load(p));
    x1 = fold(x1, by512, load(p + 16));
    x2 = fold(x2, by512, load(p + 32));
    x3 = fold(x3, by512, load(p + 48));
  }
  const __m128i by128 = constant(kFoldBy128);
  return finish(fold(fold(fold(x0, by128, x1), by128, x2), by128, x3), p, n);
}

// The same folding with two 128-bit lanes in each 256-bit register.
#define KORVALE_VPCLMUL256 __attribute__((target("pclmul,avx2,vpclmulqdq")))

KORVALE_VPCLMUL256 __m256i fold(__m256i x, __m256i k, __m256i next) {
  const __m256i low = _mm256_clmulepi64_epi128(x, k, 0x00);
  const __m256i high = _mm256_clmulepi64_epi128(x, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(low, high), next);
}

KORVALE_VPCLMUL256 __m256i load256(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

KORVALE_VPCLMUL256 __m256i constant(const std::array<uint64_t, 4>& lanes) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.data()));
}

// The register after the `n` bytes at `p`; n is at least 128 and a multiple of 16.
KORVALE_VPCLMUL256 uint32_t foldBlocks256(uint32_t reg, const uint8_t* p, std::size_t n) {
  __m256i x0 = _mm256_xor_si256(load256(p),
                                _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m256i x1 = load256(p + 32), x2 = load256(p + 64), x3 = load256(p + 96);
  const __m256i by1024 = constant(kFoldBy1024);
  for (p += 128, n -= 128; n >= 128; p += 128, n -= 128) {
    x0 = fold(x0, by1024, load256(p));
    x1 = fold(x1, by1024, load256(p + 32));
    x2 = fold(x2, by1024, load256(p + 64));
    x3 = fold(x3, by1024, load256(p + 96));
  }
  const __m256i by256 = constant(kFoldBy256);
  __m256i x = fold(fold(fold(x0, by256, x1), by256, x2), by256, x3);
  for (; n >= 32; p += 32, n -= 32) x = fold(x, by256, load256(p));

  // The low lane moves forward onto the high one.
  const __m128i last =
      fold(_mm256_castsi256_si128(x), constant(kFoldBy128), _mm256_extracti128_si256(x, 1));
  _mm256_zeroupper();
  return finish(last, p, n);
}

#undef KORVALE_VPCLMUL256

// The same folding with four 128-bit lanes in each 512-bit register.
#define KORVALE_VPCLMUL __attribute__((target("pclmul,avx512f,vpclmulqdq")))

KORVALE_VPCLMUL __m512i fold(__m512i x, __m512i k, __m512i next) {
  const __m512i low = _mm512_clmulepi64_epi128(x, k, 0x00);
  const __m512i high = _mm512_clmulepi64_epi128(x, k, 0x11);
  return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // low ^ high ^ next
}

KORVALE_VPCLMUL __m512i load512(const uint8_t* p) { return _mm512_loadu_si512(p); }

KORVALE_VPCLMUL __m512i constant(const std::array<uint64_t, 8>& lanes) {
  return _mm512_load_si512(lanes.data());
}

// The register after the `n` bytes at `p`; n is at least 256 and a multiple of 16.
KORVALE_VPCLMUL uint32_t foldBlocksWide(uint32_t reg, const uint8_t* p, std::size_t n) {
  __m512i x0 = _mm512_xor_si512(load512(p),
                                _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m512i x1 = load512(p + 64), x2 = load512(p + 128), x3 = load512(p + 192);
  const __m512i by2048 = constant(kFoldBy2048);
  for (p += 256, n -= 256; n >= 256; p += 256, n -= 256) {
    x0 = fold(x0, by2048, load512(p));
    x1 = fold(x1, by2048, load512(p + 64));
    x2 = fold(x2, by2048, load512(p + 128));
    x3 = fold(x3, by2048, load512(p + 192));
  }
  const __m512i by512 = constant(kFoldBy512Wide);
  __m512i x = fold(fold(fold(x0, by512, x1), by512, x2), by512, x3);
  for (; n >= 64; p += 64, n -= 64) x = fold(x, by512, load512(p));

  // Each lane moves forward onto the last, then the four are added up.
  x = fold(x, constant(kFoldLanesToLast), _mm512_maskz_mov_epi64(0xC0, x));
  // (Masked forms with every element selected: GCC 12 warns about its own unmasked ones.)
  x = _mm512_xor_si512(x, _mm512_mask_shuffle_i64x2(x, 0xFF, x, x, 0x4E));  // + lanes 2 3 0 1
  x = _mm512_xor_si512(x, _mm512_mask_shuffle_i64x2(x, 0xFF, x, x, 0xB1));  // + lanes 1 0 3 2
  const __m128i last = _mm512_mask_extracti32x4_epi32(_mm_setzero_si128(), 0xF, x, 0);
  _mm256_zeroupper();
  return finish(last, p, n);
}

#undef KORVALE_VPCLMUL
#undef KORVALE_CLMUL

// Folds the 16-byte blocks, no fewer than `least` bytes; the rest goes through the tables.
template <uint32_t (*foldBlocks)(uint32_t, const uint8_t*, std::size_t), std::size_t least>
uint32_t foldingUpdate(uint32_t reg, std::span<const uint8_t> bytes) {
  if (bytes.size() < least) return crc32UpdateSliced(reg, bytes);
  const std::size_t folded = bytes.size() & ~std::size_t{15};
  reg = foldBlocks(reg, bytes.data(), folded);
  return crc32UpdateSliced(reg, bytes.subspan(folded));
}

// Intel processors that lower their clock while 512-bit instructions run, by enough that the
// 256-bit path serves a whole program better (family 6, by model): Skylake-SP with its Cascade
// Lake and Cooper Lake successors, Ice Lake client and server, and Tiger Lake. Of these only
// Ice Lake and Tiger Lake have VPCLMULQDQ at all. Rocket Lake, Sapphire Rapids and later keep
// their clock, as AMD's processors with AVX-512 do.
bool lowersClockFor512Bit() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return false;
  const bool intel = ebx == 0x756E6547 && edx == 0x49656E69 && ecx == 0x6C65746E;  // GenuineIntel
  if (!intel || !__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const unsigned family = (eax >> 8) & 0xF;
  const unsigned model = ((eax >> 4) & 0xF) | ((eax >> 12) & 0xF0);  // with the extended model
  constexpr unsigned kModels[] = {0x55, 0x6A, 0x6C, 0x7D, 0x7E, 0x9D, 0x8C, 0x8D};
  return family == 6 &&
         std::find(std::begin(kModels), std::end(kModels), model) != std::end(kModels);
}

}  // namespace

std::span<const CrcEngine> acceleratedCrcEngines() {
  static constexpr CrcEngine kFolding128 = {"pclmulqdq", &foldingUpdate<foldBlocks, 64>};
  static constexpr CrcEngine kFolding256 = {"vpclmulqdq-avx2", &foldingUpdate<foldBlocks256, 128>};
  static constexpr CrcEngine kFolding512 = {"vpclmulqdq-avx512",
                                            &foldingUpdate<foldBlocksWide, 256>};
  static const std::vector<CrcEngine> engines = [] {
    __builtin_cpu_init();
    std::vector<CrcEngine> list;
    if (!__builtin_cpu_supports("pclmul")) return list;
    list.push_back(kFolding128);
    const bool vpclmul = __builtin_cpu_supports("vpclmulqdq");
    const bool with256 = vpclmul && __builtin_cpu_supports("avx2");
    const bool with512 = vpclmul && __builtin_cpu_supports("avx512f");
    if (with256) list.push_back(kFolding256);
    // The last one is the one used; the 256-bit path stays last where 512 bits cost clock.
    if (with512)
      list.insert(lowersClockFor512Bit() && with256 ? list.end() - 1 : list.end(), kFolding512);
    return list;
  }();
  return engines;
}

}  // namespace korvale
