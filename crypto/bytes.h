// Little-endian loads and stores, and wiping of secrets.
//
// Every multi-byte value in Tessera's files and cipher inputs is little
// endian. These helpers are written with shifts so that a big-endian or a
// 32-bit host reads and writes the same bytes; compilers turn each into a
// single load or store where the host allows it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t load32_le(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

constexpr std::uint64_t load64_le(const std::uint8_t* p) {
  return std::uint64_t{load32_le(p)} | std::uint64_t{load32_le(p + 4)} << 32;
}

constexpr void store32_le(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Zeroes size bytes through a volatile pointer, so that wiping memory that is
// about to die is not optimised away.
inline void wipe_bytes(void* data, std::size_t size) {
  volatile std::uint8_t* p = static_cast<volatile std::uint8_t*>(data);
  for (std::size_t n = 0; n < size; ++n) p[n] = 0;
}
