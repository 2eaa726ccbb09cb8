// Writes the qel file: entry_digest (16 bytes), value_digest (16 bytes) and
// the entry_count values (4 bytes each), enciphered as one RC4 keystream
// under the 32-byte sealing key, whose bytes 16-31 are entry_digest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/md5.h"

constexpr std::size_t qel_header_size = 2 * md5_digest_size;

// Creates or truncates qel_path and writes 32 + 4 * entry_count bytes.
// Succeeds only when every byte reached the file, flush and close included;
// otherwise prints one message naming qel_path and keeps what was written.
bool write_qel_file(const char* qel_path, const std::uint8_t* sealing_key,
                    const std::uint8_t* value_digest,
                    const std::uint8_t* value_table, std::uint32_t entry_count);
