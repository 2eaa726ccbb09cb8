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

// Replaces count records (any count, 0 included), one after another at
// records, each with its clear form, as count decipher_record calls would.
// Several records are deciphered side by side, in far less time than one
// after another. On x86-64 the widest form the processor has is
// taken (AVX-512F, else AVX2, else the portable one); all give the same
// bytes and touch no byte outside the count records.
void decipher_records(std::uint8_t* records, std::size_t count);

// Each form on its own, so that tests and benchmarks can hold each against
// decipher_block. The portable one runs everywhere: two records at a time
// as two chains of four lanes.
void decipher_records_portable(std::uint8_t* records, std::size_t count);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSERA_TEA_X86 1
// Four records at a time as two AVX2 chains of eight lanes. Only where
// tea_avx2_usable().
bool tea_avx2_usable();
void decipher_records_avx2(std::uint8_t* records, std::size_t count);
// Four records to an AVX-512F register of sixteen lanes, eight at a time
// as two chains. Only where tea_avx512_usable().
bool tea_avx512_usable();
void decipher_records_avx512(std::uint8_t* records, std::size_t count);
#else
#define TESSERA_TEA_X86 0
#endif
