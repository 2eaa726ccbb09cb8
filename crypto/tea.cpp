#include "tea.h"

namespace {

constexpr std::uint32_t delta = 0x9E3779B9;  // TEA's key schedule constant
constexpr int cycles = 32;
constexpr std::uint32_t initial_sum = delta * cycles;  // 0xC6EF3720 mod 2^32

// The blocks of a record are independent of each other and of every other
// record, so the cycle runs on several lanes at once: lane i of group r is
// block i of record r. Each statement below is the same operation on the
// four lanes of a group with nothing crossing between lanes, which the
// compiler turns into one vector operation on a register holding the
// group's four y (or z) words; two groups give two independent chains that
// overlap, or one AVX2 register. Where there are no vector registers it
// stays scalar code with the same results.
constexpr std::size_t group = record_blocks;  // four lanes, one record

template <std::size_t groups>
[[gnu::always_inline]] inline void decipher_lanes(
    std::uint32_t (&y)[groups][group], std::uint32_t (&z)[groups][group]) {
  const std::uint32_t k0 = record_key.k[0];
  const std::uint32_t k1 = record_key.k[1];
  const std::uint32_t k2 = record_key.k[2];
  const std::uint32_t k3 = record_key.k[3];
  // The sum is kept per lane too, so that it stays in a vector register.
  std::uint32_t sum[group];
  for (std::size_t i = 0; i < group; ++i) sum[i] = initial_sum;
#pragma GCC unroll 4
  for (int n = 0; n < cycles; ++n) {
#pragma GCC unroll 2
    for (std::size_t r = 0; r < groups; ++r) {
      for (std::size_t i = 0; i < group; ++i) {
        z[r][i] -=
            ((y[r][i] << 4) + k2) ^ (y[r][i] + sum[i]) ^ ((y[r][i] >> 5) + k3);
      }
    }
#pragma GCC unroll 2
    for (std::size_t r = 0; r < groups; ++r) {
      for (std::size_t i = 0; i < group; ++i) {
        y[r][i] -=
            ((z[r][i] << 4) + k0) ^ (z[r][i] + sum[i]) ^ ((z[r][i] >> 5) + k1);
      }
    }
    for (std::size_t i = 0; i < group; ++i) sum[i] -= delta;
  }
}

// Deciphers records_at_once records in place, the record at r * record_size.
template <std::size_t records_at_once>
[[gnu::always_inline]] inline void decipher_side_by_side(
    std::uint8_t* records) {
  std::uint32_t y[records_at_once][group];
  std::uint32_t z[records_at_once][group];
  for (std::size_t r = 0; r < records_at_once; ++r) {
    const std::uint8_t* in = records + r * record_size;
    for (std::size_t i = 0; i < group; ++i) {
      y[r][i] = load32_le(in + i * tea_block_size);
      z[r][i] = load32_le(in + i * tea_block_size + 4);
    }
  }
  decipher_lanes<records_at_once>(y, z);
  // Clear byte 4k + i is clear byte k of block i: bytes 0-3 of a block are
  // its y, least significant first, bytes 4-7 its z. So clear word k takes
  // byte k of each block's y (word 4 + k: of each block's z), block 0
  // lowest.
  for (std::size_t r = 0; r < records_at_once; ++r) {
    std::uint8_t* out = records + r * record_size;
    for (std::size_t k = 0; k < 4; ++k) {
      const unsigned shift = 8 * static_cast<unsigned>(k);
      std::uint32_t wy = 0;
      std::uint32_t wz = 0;
      for (std::size_t i = 0; i < group; ++i) {
        wy |= ((y[r][i] >> shift) & 0xFF) << (8 * i);
        wz |= ((z[r][i] >> shift) & 0xFF) << (8 * i);
      }
      store32_le(out + 4 * k, wy);
      store32_le(out + 16 + 4 * k, wz);
    }
  }
}

template <int>
[[gnu::always_inline]] inline void decipher_all(std::uint8_t* records,
                                                std::size_t count) {
  for (; count >= 2; count -= 2, records += 2 * record_size) {
    decipher_side_by_side<2>(records);
  }
  if (count != 0) decipher_side_by_side<1>(records);
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
  decipher_all<0>(records, count);
}

#if TESSERA_TEA_AVX2
// The same source compiled for AVX2: eight lanes fill one register, and
// three-operand instructions save the copies SSE2 needs.
[[gnu::target("avx2")]] void decipher_records_avx2(std::uint8_t* records,
                                                   std::size_t count) {
  decipher_all<1>(records, count);
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
