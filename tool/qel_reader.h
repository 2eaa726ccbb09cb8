// Opens a qel file: deciphers it under sealing_key as one RC4 keystream, the
// same one write_qel_file enciphered it with, and checks that it is the
// whole file sealed for this table.
//
// The checks, in this order, each refusal one message naming qel_path:
//   1. the file is exactly 32 + 4 * entry_count bytes: "Incorrect size of";
//   2. its first 16 clear bytes equal entry_digest (bytes 16-31 of
//      sealing_key); otherwise it was sealed for another table or under
//      another key_prefix: "Sealed for another table or key:";
//   3. the next 16 equal the MD5 of the clear values; otherwise bytes were
//      changed after sealing: "Values don't match their digest in".
#pragma once

#include <cstddef>
#include <cstdint>

#include "qel_writer.h"
#include "storage.h"

// The largest qel file a table can have: both digests and 4,098 values.
constexpr std::size_t qel_capacity = qel_header_size + value_table_size;

// entry_count is at most value_capacity, as read_entry_table gives it. On
// success value_table (value_table_size bytes) holds the entry_count clear
// values, 4 bytes each, little-endian, in file order. At most one byte more
// than the expected size is read, so a file of any size, even an endless
// one, is judged at once. The file is closed before returning.
bool open_qel_file(const char* qel_path, const std::uint8_t* sealing_key,
                   std::uint32_t entry_count, std::uint8_t* value_table);
