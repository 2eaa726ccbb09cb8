// Record decipher: TEA (32 cycles) under the built-in record_key, applied to
// the four 8-byte blocks of a 32-byte record, then a byte de-interleave so
// that clear word k holds clear byte k of each of the four blocks.
//
// Only decipherment is provided; the tool never enciphers. Nothing is kept
// between calls and no record depends on any other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bytes.h"
#include "tessera_keys.h"

constexpr std::size_t tea_block_size = 8;  // two words, y then z
constexpr std::size_t record_size = 32;    // four TEA blocks
constexpr std::size_t record_blocks = record_size / tea_block_size;

// k0..k3, each read little-endian from the configured 16 key bytes.
struct tea_key {
  std::uint32_t k[4];
};
inline constexpr tea_key record_key = {{
    load32_le(record_key_bytes),
    load32_le(record_key_bytes + 4),
    load32_le(record_key_bytes + 8),
    load32_le(record_key_bytes + 12),
}};

struct tea_block {
  std::uint32_t y;
  std::uint32_t z;
};

// TEA decipherment of one block under record_key. Pure.
tea_block decipher_block(tea_block block);

// The same cycle under any key, for checking it against published vectors.
tea_block tea_decipher(tea_block block, const tea_key& key);

// Replaces the 32-byte record with its clear form, in place.
void decipher_record(std::uint8_t* record);

// Replaces count records, one after another at records, each with its clear
// form, as count decipher_record calls would. Two records are deciphered
// side by side where possible, which on one core takes little longer than
// one. On x86-64 the AVX2 form is taken when the processor has it, else the
// portable one; both give the same bytes.
void decipher_records(std::uint8_t* records, std::size_t count);

// The two forms, so that tests and benchmarks can hold each against
// decipher_block. The portable one runs everywhere.
void decipher_records_portable(std::uint8_t* records, std::size_t count);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSERA_TEA_AVX2 1
bool tea_avx2_usable();
// Only where tea_avx2_usable().
void decipher_records_avx2(std::uint8_t* records, std::size_t count);
#else
#define TESSERA_TEA_AVX2 0
#endif
