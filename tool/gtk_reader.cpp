#include "gtk_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "crypto/bytes.h"
#include "crypto/tea.h"
#include "messages.h"
#include "storage.h"

namespace {

constexpr std::uint32_t kind_with_key_in_w3 = 1;

bool read_exactly(std::FILE* file, std::uint8_t* buffer, std::size_t size) {
  return std::fread(buffer, 1, size, file) == size;
}

// The clear entry record's key and kind, stored as entry n's.
void store_entry(const std::uint8_t* clear, std::uint32_t n,
                 std::uint8_t* key_area, std::uint32_t* entry_kinds) {
  const std::uint32_t kind = load32_le(clear);
  const std::uint32_t key = kind == kind_with_key_in_w3
                                ? load32_le(clear + 3 * word_size)
                                : load32_le(clear + 1 * word_size);
  store32_le(key_area + n * word_size, key);
  if (entry_kinds != nullptr) entry_kinds[n] = kind;
}

}  // namespace

bool read_entry_stream(std::FILE* file, const char* path,
                       std::uint8_t* key_area, std::uint32_t& entry_count,
                       std::uint32_t* entry_kinds) {
  std::uint8_t scratch[slots_per_read * slot_size];
  static_assert(sizeof scratch >= gtk_leading_size + record_size);

  // The leading bytes and the header record in one read: either falling
  // short is the same failure.
  if (!read_exactly(file, scratch, gtk_leading_size + record_size)) {
    std::printf(read_failed, path);
    return false;
  }
  std::uint8_t* const header = scratch + gtk_leading_size;
  decipher_records(header, 1);
  const std::uint32_t count = load32_le(header + word_size * entry_count_word);
  if (count > value_capacity) {
    std::printf(too_many_entries, path);
    return false;
  }

  // At most 4,098 slots, so the offset is far inside a long on every host.
  const long table_offset = -static_cast<long>(count * slot_size);
  if (std::fseek(file, table_offset, SEEK_END) != 0) {
    std::printf(seek_failed, path);
    return false;
  }

  // Up to slots_per_read slots a read. Each read is checked, and a short
  // one is the same failure wherever it falls. The records are then moved
  // together, record r from slot r's first half to bytes 32r to 32r + 31,
  // which hold only halves already moved or never examined, and deciphered
  // in one call.
  for (std::uint32_t n = 0; n < count;) {
    const std::uint32_t in_hand =
        std::min<std::uint32_t>(count - n, slots_per_read);
    if (!read_exactly(file, scratch, in_hand * slot_size)) {
      std::printf(read_failed, path);
      return false;
    }
    for (std::size_t r = 1; r < in_hand; ++r) {
      std::memcpy(scratch + r * record_size, scratch + r * slot_size,
                  record_size);
    }
    decipher_records(scratch, in_hand);
    for (std::uint32_t r = 0; r < in_hand; ++r, ++n) {
      store_entry(scratch + r * record_size, n, key_area, entry_kinds);
    }
  }
  entry_count = count;
  return true;
}

bool read_entry_table(const char* gtk_path, std::uint8_t* key_area,
                      std::uint32_t& entry_count, std::uint32_t* entry_kinds) {
  std::FILE* file = std::fopen(gtk_path, "rb");
  if (file == nullptr) {
    std::printf(open_failed, gtk_path);
    return false;
  }
  const bool ok =
      read_entry_stream(file, gtk_path, key_area, entry_count, entry_kinds);
  // Closing a stream that was only read loses nothing; its result is moot.
  static_cast<void>(std::fclose(file));
  return ok;
}
