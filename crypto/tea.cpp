#include "tea.h"

namespace {

constexpr std::uint32_t delta = 0x9E3779B9;  // TEA's key schedule constant
constexpr int cycles = 32;
constexpr std::uint32_t initial_sum = delta * cycles;  // 0xC6EF3720 mod 2^32

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

void decipher_record(std::uint8_t* record) {
  std::uint8_t clear[record_blocks][tea_block_size];
  for (std::size_t i = 0; i < record_blocks; ++i) {
    const std::uint8_t* in = record + i * tea_block_size;
    const tea_block b = decipher_block({load32_le(in), load32_le(in + 4)});
    store32_le(clear[i], b.y);
    store32_le(clear[i] + 4, b.z);
  }
  // Clear byte 4k + i is clear byte k of block i.
  for (std::size_t k = 0; k < tea_block_size; ++k) {
    for (std::size_t i = 0; i < record_blocks; ++i) {
      record[k * record_blocks + i] = clear[i][k];
    }
  }
}
