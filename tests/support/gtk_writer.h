// Test-side writer of gtk files: standard TEA encipherment and the inverse
// of the record interleave, under the configured record_key. The tool never
// enciphers; only tests and the example writer do.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto/tea.h"

using clear_record = std::array<std::uint32_t, 8>;  // words w0..w7

// Standard TEA, 32 cycles.
tea_block tea_encipher(tea_block block, const tea_key& key);

// The enciphered 32 bytes whose decipher_record is the clear record: clear
// byte 4k + i becomes byte k of block i, each block enciphered under key.
std::array<std::uint8_t, record_size> encipher_record(
    const clear_record& clear, const tea_key& key = record_key);

// One entry of a table. kind 1 carries its key in w3, any other kind in w1;
// the other of the two words holds a decoy, so picking the wrong one shows.
struct gtk_entry {
  std::uint32_t kind;
  std::uint32_t key;
};
clear_record entry_record(const gtk_entry& entry);

struct gtk_layout {
  std::size_t gap = 0;         // unread bytes between the header and the table
  std::uint8_t filler = 0xA5;  // leading bytes, gap and slot second halves
  bool header_count_set = false;
  std::uint32_t header_count = 0;  // entry_count in the header, if set
};

// A whole gtk file: 8 leading bytes, the header record (entry_count is the
// number of entries unless the layout overrides it), the gap, the slots.
std::vector<std::uint8_t> make_gtk(const std::vector<gtk_entry>& entries,
                                   const gtk_layout& layout = {});

// The keys a reader must collect from entries, in table order.
std::vector<std::uint32_t> entry_keys(const std::vector<gtk_entry>& entries);
