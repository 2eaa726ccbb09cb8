// RC4 (ARCFOUR) keystream over a state the caller owns, keyed with exactly
// 32 bytes. Successive rc4_crypt calls continue one keystream; nothing of it
// is discarded after set-up. Nothing is allocated and no pointer outlives a
// call.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t rc4_key_size = 32;

struct rc4_state {
  std::uint32_t i;  // 0..255
  std::uint32_t j;  // 0..255
  std::uint8_t perm[256];
};

void rc4_setup(rc4_state& st, const std::uint8_t* key);

// out[n] = in[n] XOR the next keystream byte, for n < size. out may equal in.
// size 0 may come with null pointers.
void rc4_crypt(rc4_state& st, std::uint8_t* out, std::size_t size,
               const std::uint8_t* in);
