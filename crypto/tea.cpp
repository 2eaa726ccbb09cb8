#include "tea.h"

#include <algorithm>
#include <iterator>

#if TESSERA_TEA_X86
// g++ 12's AVX-512 intrinsics pass an unused operand made from itself
// (x = x), which its own -Wuninitialized then reports wherever they are
// inlined into this file; nothing is ever read from that operand.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
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

#if TESSERA_TEA_X86
// The x86-64 forms, written with intrinsics, the same cycle as
// decipher_lanes step for step, since compilers differ in what they make of
// the portable source at these widths (one keeps it in vector registers,
// another falls back to scalar code). This is x86-64 code, and x86-64 is
// little-endian: a record's words in a register are its bytes in order.
//
// How far the cycle is unrolled was measured: the AVX2 form in full, since
// g++ 12 leaves its two-chain loop rolled at any smaller factor, with
// register copies and a branch each cycle; it reads each cycle's sum from a
// table, which takes no instruction of its own. The AVX-512F form counts
// the sum down in a register, one subtraction a cycle, unrolled by eight,
// which took fewer instructions and less time than in full.
namespace {

// Each cycle's sum on eight lanes, a table in memory: the cycle's additions
// of it read it as an operand, where a sum kept in a register costs a
// subtraction a cycle and a sum made a constant a move and a broadcast.
// That is 53,000 instructions fewer for 4,098 entries, in the same time:
// the cycle waits on its chain of dependent steps, not on instructions.
struct cycle_sums {
  alignas(32) std::uint32_t at[cycles][8];
};
constexpr cycle_sums make_cycle_sums() {
  cycle_sums t{};
  for (int n = 0; n < cycles; ++n) {
    std::fill(std::begin(t.at[n]), std::end(t.at[n]),
              initial_sum - static_cast<std::uint32_t>(n) * delta);
  }
  return t;
}
constexpr cycle_sums cycle_sums_avx2 = make_cycle_sums();

// ((w << 4) + ka) ^ (w + sum) ^ ((w >> 5) + kb), the amount one half of a
// cycle takes from the other word, on eight lanes.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i mix_avx2(
    __m256i w, __m256i sum, __m256i ka, __m256i kb) {
  return _mm256_xor_si256(
      _mm256_xor_si256(_mm256_add_epi32(_mm256_slli_epi32(w, 4), ka),
                       _mm256_add_epi32(w, sum)),
      _mm256_add_epi32(_mm256_srli_epi32(w, 5), kb));
}

// The eight blocks of two records, y words and z words: y words are the
// even words of the 64 bytes, z words the odd ones, gathered with two
// shuffles each.
[[gnu::target("avx2"), gnu::always_inline]] inline void load_pair_avx2(
    const std::uint8_t* records, __m256i& y, __m256i& z) {
  const __m256 first = _mm256_castsi256_ps(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(records)));
  const __m256 second = _mm256_castsi256_ps(_mm256_loadu_si256(
      reinterpret_cast<const __m256i*>(records + record_size)));
  y = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(
                                   first, second, _MM_SHUFFLE(2, 0, 2, 0))),
                               _MM_SHUFFLE(3, 1, 2, 0));
  z = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(
                                   first, second, _MM_SHUFFLE(3, 1, 3, 1))),
                               _MM_SHUFFLE(3, 1, 2, 0));
}

// The byte shuffle (a 4 x 4 transpose in each 16 bytes) that turns a
// record's four y words into its first 16 clear bytes, its z words into its
// last 16.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i transpose_avx2(
    __m256i words) {
  const __m256i transpose =
      _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,  //
                       0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  return _mm256_shuffle_epi8(words, transpose);
}

[[gnu::target("avx2"), gnu::always_inline]] inline void store_pair_avx2(
    std::uint8_t* records, __m256i y, __m256i z) {
  const __m256i ys = transpose_avx2(y);
  const __m256i zs = transpose_avx2(z);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(records),
                      _mm256_permute2x128_si256(ys, zs, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(records + record_size),
                      _mm256_permute2x128_si256(ys, zs, 0x31));
}

// chains pairs of records, each pair in its own register. The 32 cycles of
// a register are one chain of dependent steps, each too small to keep the
// processor's vector units busy while it waits for the one before, so a
// second independent chain runs in the gaps of the first: four records take
// about 1.5 times as long as two, not twice.
template <std::size_t chains>
[[gnu::target("avx2")]] void decipher_pairs_avx2(std::uint8_t* records) {
  __m256i y[chains];
  __m256i z[chains];
  for (std::size_t c = 0; c < chains; ++c) {
    load_pair_avx2(records + c * 2 * record_size, y[c], z[c]);
  }
  const __m256i k0 = _mm256_set1_epi32(static_cast<int>(record_key.k[0]));
  const __m256i k1 = _mm256_set1_epi32(static_cast<int>(record_key.k[1]));
  const __m256i k2 = _mm256_set1_epi32(static_cast<int>(record_key.k[2]));
  const __m256i k3 = _mm256_set1_epi32(static_cast<int>(record_key.k[3]));
  // Seen through an empty asm the table's contents are unknown to the
  // compiler, which would otherwise rebuild each sum as a constant.
  const cycle_sums* sums = &cycle_sums_avx2;
  asm("" : "+r"(sums));
#pragma GCC unroll 32
  for (int n = 0; n < cycles; ++n) {
    const __m256i sum =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(sums->at[n]));
    for (std::size_t c = 0; c < chains; ++c) {
      z[c] = _mm256_sub_epi32(z[c], mix_avx2(y[c], sum, k2, k3));
    }
    for (std::size_t c = 0; c < chains; ++c) {
      y[c] = _mm256_sub_epi32(y[c], mix_avx2(z[c], sum, k0, k1));
    }
  }
  for (std::size_t c = 0; c < chains; ++c) {
    store_pair_avx2(records + c * 2 * record_size, y[c], z[c]);
  }
}

// The AVX-512F form keeps 64-byte registers, which unoptimised code spills
// to its stack frame with aligned moves. AddressSanitizer's use-after-return
// check moves frames to a stack of its own that GCC aligns to 32 bytes only,
// where such a spill faults; so these functions are left out of its
// instrumentation. What they read and write is held to the records by a test
// that puts them between inaccessible pages instead.
#define TESSERA_AVX512 gnu::target("avx512f"), gnu::no_sanitize_address

// The same amount on sixteen lanes; one vpternlogd does both XORs.
[[TESSERA_AVX512, gnu::always_inline]] inline __m512i mix_avx512(__m512i w,
                                                                 __m512i sum,
                                                                 __m512i ka,
                                                                 __m512i kb) {
  constexpr int xor_of_three = 0x96;  // the truth table of a ^ b ^ c
  return _mm512_ternarylogic_epi32(
      _mm512_add_epi32(_mm512_slli_epi32(w, 4), ka), _mm512_add_epi32(w, sum),
      _mm512_add_epi32(_mm512_srli_epi32(w, 5), kb), xor_of_three);
}

// Four records in one register of sixteen lanes, lane 4r + i being block
// i of record r; count (1 to 4) of them are there. The words of absent
// records are masked off: they are neither read nor written (and not even a
// pointer past the records is formed), so a last group of fewer than four
// needs no other path. Where count is a constant the masks fold away.
[[TESSERA_AVX512, gnu::always_inline]] inline void load_four_avx512(
    const std::uint8_t* records, std::size_t count, __m512i& y, __m512i& z) {
  // Bit w stands for word w of the 32 (record w / 8).
  const std::uint64_t words = (std::uint64_t{1} << (8 * count)) - 1;
  const std::uint8_t* second = count > 2 ? records + 2 * record_size : records;
  const __m512i first_half =
      _mm512_maskz_loadu_epi32(static_cast<__mmask16>(words), records);
  const __m512i second_half =
      _mm512_maskz_loadu_epi32(static_cast<__mmask16>(words >> 16), second);
  // Block l's y is word 2l, its z word 2l + 1.
  const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20,
                                         22, 24, 26, 28, 30);
  const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21,
                                        23, 25, 27, 29, 31);
  y = _mm512_permutex2var_epi32(first_half, even, second_half);
  z = _mm512_permutex2var_epi32(first_half, odd, second_half);
}

[[TESSERA_AVX512, gnu::always_inline]] inline void store_four_avx512(
    std::uint8_t* records, std::size_t count, __m512i y, __m512i z) {
  // AVX-512F has no byte shuffle on 64 bytes (that is AVX-512BW), so each
  // half goes through AVX2's; then record r is 16 bytes of transposed y
  // words and 16 of z words, taken from both with one permute per two
  // records.
  const __m512i ys = _mm512_inserti64x4(
      _mm512_castsi256_si512(transpose_avx2(_mm512_castsi512_si256(y))),
      transpose_avx2(_mm512_extracti64x4_epi64(y, 1)), 1);
  const __m512i zs = _mm512_inserti64x4(
      _mm512_castsi256_si512(transpose_avx2(_mm512_castsi512_si256(z))),
      transpose_avx2(_mm512_extracti64x4_epi64(z, 1)), 1);
  const __m512i first_pair = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
  const __m512i second_pair = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
  // Bit q stands for 8-byte piece q of the 16 (record q / 4).
  const std::uint32_t pieces = (std::uint32_t{1} << (4 * count)) - 1;
  std::uint8_t* second = count > 2 ? records + 2 * record_size : records;
  _mm512_mask_storeu_epi64(records, static_cast<__mmask8>(pieces),
                           _mm512_permutex2var_epi64(ys, first_pair, zs));
  _mm512_mask_storeu_epi64(second, static_cast<__mmask8>(pieces >> 8),
                           _mm512_permutex2var_epi64(ys, second_pair, zs));
}

// chains groups of four records, each group in its own register; the last
// group holds in_last records (1 to 4), the others four. As with AVX2, a
// second chain runs in the gaps of the first: eight records take about 1.3
// times as long as four. A third brings nothing more.
template <std::size_t chains>
[[TESSERA_AVX512, gnu::always_inline]] inline void decipher_fours_avx512(
    std::uint8_t* records, std::size_t in_last) {
  __m512i y[chains];
  __m512i z[chains];
#pragma GCC unroll 2
  for (std::size_t c = 0; c < chains; ++c) {
    load_four_avx512(records + c * 4 * record_size,
                     c + 1 < chains ? 4 : in_last, y[c], z[c]);
  }
  const __m512i k0 = _mm512_set1_epi32(static_cast<int>(record_key.k[0]));
  const __m512i k1 = _mm512_set1_epi32(static_cast<int>(record_key.k[1]));
  const __m512i k2 = _mm512_set1_epi32(static_cast<int>(record_key.k[2]));
  const __m512i k3 = _mm512_set1_epi32(static_cast<int>(record_key.k[3]));
  const __m512i step = _mm512_set1_epi32(static_cast<int>(delta));
  __m512i sum = _mm512_set1_epi32(static_cast<int>(initial_sum));
#pragma GCC unroll 8
  for (int n = 0; n < cycles; ++n) {
    for (std::size_t c = 0; c < chains; ++c) {
      z[c] = _mm512_sub_epi32(z[c], mix_avx512(y[c], sum, k2, k3));
    }
    for (std::size_t c = 0; c < chains; ++c) {
      y[c] = _mm512_sub_epi32(y[c], mix_avx512(z[c], sum, k0, k1));
    }
    sum = _mm512_sub_epi32(sum, step);
  }
#pragma GCC unroll 2
  for (std::size_t c = 0; c < chains; ++c) {
    store_four_avx512(records + c * 4 * record_size,
                      c + 1 < chains ? 4 : in_last, y[c], z[c]);
  }
}

}  // namespace

[[gnu::target("avx2")]] void decipher_records_avx2(std::uint8_t* records,
                                                   std::size_t count) {
  for (; count >= 4; count -= 4, records += 4 * record_size) {
    decipher_pairs_avx2<2>(records);
  }
  if (count >= 2) {
    decipher_pairs_avx2<1>(records);
    count -= 2;
    records += 2 * record_size;
  }
  if (count != 0) decipher_side_by_side<1, record_blocks>(records);
}

[[TESSERA_AVX512]] void decipher_records_avx512(std::uint8_t* records,
                                                std::size_t count) {
  constexpr std::size_t chains = 2;
  for (; count >= 4 * chains; count -= 4 * chains) {
    decipher_fours_avx512<chains>(records, 4);
    records += 4 * chains * record_size;
  }
  while (count != 0) {
    const std::size_t here = std::min<std::size_t>(count, 4);
    decipher_fours_avx512<1>(records, here);
    count -= here;
    records += here * record_size;
  }
}

bool tea_avx2_usable() { return __builtin_cpu_supports("avx2"); }
bool tea_avx512_usable() { return __builtin_cpu_supports("avx512f"); }
#endif

void decipher_records(std::uint8_t* records, std::size_t count) {
#if TESSERA_TEA_X86
  if (tea_avx512_usable()) {
    decipher_records_avx512(records, count);
    return;
  }
  if (tea_avx2_usable()) {
    decipher_records_avx2(records, count);
    return;
  }
#endif
  decipher_records_portable(records, count);
}

void decipher_record(std::uint8_t* record) { decipher_records(record, 1); }
