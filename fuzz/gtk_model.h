// What reading a gtk file must give, worked out from its bytes in memory:
// the message of the first failure, or entry_count and the entry keys. The
// harnesses hold the reader and the whole run to it.
//
// It shares only decipher_record with the reader, so a fault in how the
// reader walks the file (offsets, counts, the cap, short reads) shows as a
// difference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct gtk_expectation {
  const char* failure;  // the message format, or nullptr on success
  std::uint32_t entry_count;
  std::vector<std::uint32_t> keys;  // entry_count keys on success
};

gtk_expectation model_gtk(const std::uint8_t* data, std::size_t size);
