// The 32-byte RC4 key of a qel file: key_prefix, a constant of the build,
// followed by entry_digest, the MD5 of the table's entry keys. Tessera forms
// it to seal values and tessera-open forms it the same way to open them, so
// only a holder of the same gtk file and the same build can do either.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "crypto/md5.h"
#include "crypto/rc4.h"
#include "tessera_keys.h"

constexpr std::size_t key_prefix_size = sizeof key_prefix;
constexpr std::size_t sealing_key_size = rc4_key_size;  // key_prefix + digest
static_assert(key_prefix_size + md5_digest_size == sealing_key_size);

using sealing_key_area = std::array<std::uint8_t, sealing_key_size>;

// key_prefix in bytes 0-15 and zeroes in bytes 16-31, for initialising a
// key area before any run (constexpr, so a static area needs no start-up
// code).
constexpr sealing_key_area initial_sealing_key() noexcept {
  sealing_key_area area{};
  for (std::size_t n = 0; n < key_prefix_size; ++n) area[n] = key_prefix[n];
  return area;
}

// Digests entry_count entry keys (4 bytes each, little-endian, in table
// order, as read_entry_table stores them) straight into bytes 16-31 of the
// area, whose bytes 0-15 already hold key_prefix: the area is then
// sealing_key and its second half entry_digest. digest is the caller's
// context, set up here and wiped by md5_final, so a run keeps one context
// for both of its digests.
void digest_entry_keys(md5_context& digest, sealing_key_area& area,
                       const std::uint8_t* key_area, std::uint32_t entry_count);

// Bytes 16-31 of the area: entry_digest once digest_entry_keys has run.
inline const std::uint8_t* entry_digest_of(const sealing_key_area& area) {
  return area.data() + key_prefix_size;
}
