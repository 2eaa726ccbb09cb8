#include "tea.h"

#if TESSERA_TEA_AVX2
#include <immintrin.h>
#endif

namespace {

constexpr std::uint32_t delta = 0x9E3779B9;  // TEA's key schedule constant
constexpr int cycles = 32;
constexpr std::uint32_t initial_sum = delta * cycles;  // 0xC6EF3720 mod 2^32

// The blocks of a record are independent of each other and of every other
// record, so the cycle runs on several lanes at once, lane l being block
// l % 4 of record l / 4. The lanes are held in groups of width lanes; each
// statement below is the same operation on the lanes of a group with
// nothing crossing between lanes, which the compiler turns into one vector
// operation on a register holding the group's y (or z) words: four lanes
// fill an SSE2 register, eight an AVX2 one, and two groups give two
// independent chains that overlap. Where there are no vector registers it
// stays scalar code with the same results.
template <std::size_t groups, std::size_t width>
[[gnu::always_inline]] inline void decipher_lanes(
    std::uint32_t (&y)[groups][width], std::uint32_t (&z)[groups][width]) {
  const std::uint32_t k0 = record_key.k[0];
  const std::uint32_t k1 = record_key.k[1];
  const std::uint32_t k2 = record_key.k[2];
  const std::uint32_t k3 = record_key.k[3];
  // The sum is kept per lane too, so that it stays in a vector register.
  std::uint32_t sum[width];
  for (std::size_t i = 0; i < width; ++i) sum[i] = initial_sum;
#pragma GCC unroll 8
  for (int n = 0; n < cycles; ++n) {
#pragma GCC unroll 2
    for (std::size_t g = 0; g < groups; ++g) {
      for (std::size_t i = 0; i < width; ++i) {
        z[g][i] -=
            ((y[g][i] << 4) + k2) ^ (y[g][i] + sum[i]) ^ ((y[g][i] >> 5) + k3);
      }
    }
#pragma GCC unroll 2
    for (std::size_t g = 0; g < groups; ++g) {
      for (std::size_t i = 0; i < width; ++i) {
        y[g][i] -=
            ((z[g][i] << 4) + k0) ^ (z[g][i] + sum[i]) ^ ((z[g][i] >> 5) + k1);
      }
    }
    for (std::size_t i = 0; i < width; ++i) sum[i] -= delta;
  }
}

// Deciphers groups * width / 4 records in place, one after another.
template <std::size_t groups, std::size_t width>
[[gnu::always_inline]] inline void decipher_side_by_side(
    std::uint8_t* records) {
  static_assert(width % record_blocks == 0);
  std::uint32_t y[groups][width];
  std::uint32_t z[groups][width];
  for (std::size_t g = 0; g < groups; ++g) {
    for (std::size_t i = 0; i < width; ++i) {
      const std::uint8_t* in = records + (g * width + i) * tea_block_size;
      y[g][i] = load32_le(in);
      z[g][i] = load32_le(in + 4);
    }
  }
  decipher_lanes<groups, width>(y, z);
  // Clear byte 4k + i is clear byte k of block i: bytes 0-3 of a block are
  // its y, least significant first, bytes 4-7 its z. So clear word k takes
  // byte k of each block's y (word 4 + k: of each block's z), block 0
  // lowest.
  constexpr std::size_t count = groups * width / record_blocks;
  for (std::size_t r = 0; r < count; ++r) {
    std::uint8_t* out = records + r * record_size;
    for (std::size_t k = 0; k < 4; ++k) {
      const unsigned shift = 8 * static_cast<unsigned>(k);
      std::uint32_t wy = 0;
      std::uint32_t wz = 0;
      for (std::size_t i = 0; i < record_blocks; ++i) {
        const std::size_t lane = r * record_blocks + i;
        wy |= ((y[lane / width][lane % width] >> shift) & 0xFF) << (8 * i);
        wz |= ((z[lane / width][lane % width] >> shift) & 0xFF) << (8 * i);
      }
      store32_le(out + 4 * k, wy);
      store32_le(out + 16 + 4 * k, wz);
    }
  }
}

// Two records at a time as two groups of four lanes (pair_width 4) or one
// of eight (pair_width 8), then a last odd record alone.
template <std::size_t pair_width>
[[gnu::always_inline]] inline void decipher_all(std::uint8_t* records,
                                                std::size_t count) {
  constexpr std::size_t pair_groups = 2 * record_blocks / pair_width;
  for (; count >= 2; count -= 2, records += 2 * record_size) {
    decipher_side_by_side<pair_groups, pair_width>(records);
  }
  if (count != 0) decipher_side_by_side<1, record_blocks>(records);
}

}  // namespace

tea_block decipher_block(tea_block block) {
  return tea_decipher(block, record_key);
}

tea_block tea_decipher(tea_block block, const tea_key& key) {
  std::uint32_t y = block.y;
  std::uint32_t z = block.z;
  std::uint32_t sum = initial_sum;
  const auto& k = key.k;
  for (int n = 0; n < cycles; ++n) {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= delta;
  }
  return {y, z};
}

void decipher_records_portable(std::uint8_t* records, std::size_t count) {
  decipher_all<4>(records, count);
}

#if TESSERA_TEA_AVX2
namespace {

// Two records side by side in one AVX2 register of eight lanes. Written
// with intrinsics, the same cycle as decipher_lanes step for step, since
// compilers differ in what they make of the portable source here (one
// keeps it in vector registers, another falls back to scalar code). This
// is x86-64 code, and x86-64 is little-endian: a record's words in a
// register are its bytes in order.
[[gnu::target("avx2")]] void decipher_pair_avx2(std::uint8_t* records) {
  // The eight blocks' y words are the even words of the 64 bytes, their z
  // words the odd ones: gathered with two shuffles each.
  const __m256 first = _mm256_castsi256_ps(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(records)));
  const __m256 second = _mm256_castsi256_ps(_mm256_loadu_si256(
      reinterpret_cast<const __m256i*>(records + record_size)));
  __m256i y =
      _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(
                                   first, second, _MM_SHUFFLE(2, 0, 2, 0))),
                               _MM_SHUFFLE(3, 1, 2, 0));
  __m256i z =
      _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(
                                   first, second, _MM_SHUFFLE(3, 1, 3, 1))),
                               _MM_SHUFFLE(3, 1, 2, 0));

  const __m256i k0 = _mm256_set1_epi32(static_cast<int>(record_key.k[0]));
  const __m256i k1 = _mm256_set1_epi32(static_cast<int>(record_key.k[1]));
  const __m256i k2 = _mm256_set1_epi32(static_cast<int>(record_key.k[2]));
  const __m256i k3 = _mm256_set1_epi32(static_cast<int>(record_key.k[3]));
  const __m256i step = _mm256_set1_epi32(static_cast<int>(delta));
  __m256i sum = _mm256_set1_epi32(static_cast<int>(initial_sum));
#pragma GCC unroll 8
  for (int n = 0; n < cycles; ++n) {
    z = _mm256_sub_epi32(
        z, _mm256_xor_si256(
               _mm256_xor_si256(_mm256_add_epi32(_mm256_slli_epi32(y, 4), k2),
                                _mm256_add_epi32(y, sum)),
               _mm256_add_epi32(_mm256_srli_epi32(y, 5), k3)));
    y = _mm256_sub_epi32(
        y, _mm256_xor_si256(
               _mm256_xor_si256(_mm256_add_epi32(_mm256_slli_epi32(z, 4), k0),
                                _mm256_add_epi32(z, sum)),
               _mm256_add_epi32(_mm256_srli_epi32(z, 5), k1)));
    sum = _mm256_sub_epi32(sum, step);
  }

  // A record's four y words are the 16 bytes that a fixed byte shuffle (a
  // 4 x 4 transpose) turns into its first 16 clear bytes, its z words into
  // its last 16.
  const __m256i transpose =
      _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,  //
                       0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  const __m256i ys = _mm256_shuffle_epi8(y, transpose);
  const __m256i zs = _mm256_shuffle_epi8(z, transpose);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(records),
                      _mm256_permute2x128_si256(ys, zs, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(records + record_size),
                      _mm256_permute2x128_si256(ys, zs, 0x31));
}

}  // namespace

[[gnu::target("avx2")]] void decipher_records_avx2(std::uint8_t* records,
                                                   std::size_t count) {
  for (; count >= 2; count -= 2, records += 2 * record_size) {
    decipher_pair_avx2(records);
  }
  if (count != 0) decipher_side_by_side<1, record_blocks>(records);
}

bool tea_avx2_usable() { return __builtin_cpu_supports("avx2"); }
#endif

void decipher_records(std::uint8_t* records, std::size_t count) {
#if TESSERA_TEA_AVX2
  if (__builtin_cpu_supports("avx2")) {
    decipher_records_avx2(records, count);
    return;
  }
#endif
  decipher_records_portable(records, count);
}

void decipher_record(std::uint8_t* record) { decipher_records(record, 1); }
