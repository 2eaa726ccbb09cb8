#include "gtk_reader.h"

#include <cstdio>

#include "crypto/bytes.h"
#include "crypto/tea.h"
#include "messages.h"
#include "storage.h"

namespace {

constexpr std::uint32_t kind_with_key_in_w3 = 1;

bool read_exactly(std::FILE* file, std::uint8_t* buffer, std::size_t size) {
  return std::fread(buffer, 1, size, file) == size;
}

bool read_table(std::FILE* file, const char* path, std::uint8_t* key_area,
                std::uint32_t& entry_count) {
  std::uint8_t leading[gtk_leading_size];
  std::uint8_t record[record_size];

  if (!read_exactly(file, leading, sizeof leading) ||
      !read_exactly(file, record, sizeof record)) {
    std::printf(read_failed, path);
    return false;
  }
  decipher_record(record);
  const std::uint32_t count = load32_le(record + word_size * entry_count_word);
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

  for (std::uint32_t n = 0; n < count; ++n) {
    if (!read_exactly(file, record, sizeof record)) {
      std::printf(read_failed, path);
      return false;
    }
    decipher_record(record);
    const std::uint32_t kind = load32_le(record);
    const std::uint32_t key = kind == kind_with_key_in_w3
                                  ? load32_le(record + 3 * word_size)
                                  : load32_le(record + 1 * word_size);
    store32_le(key_area + n * word_size, key);
    // The second half of the slot is read and never examined.
    if (!read_exactly(file, record, sizeof record)) {
      std::printf(read_failed, path);
      return false;
    }
  }
  entry_count = count;
  return true;
}

}  // namespace

bool read_entry_table(const char* gtk_path, std::uint8_t* key_area,
                      std::uint32_t& entry_count) {
  std::FILE* file = std::fopen(gtk_path, "rb");
  if (file == nullptr) {
    std::printf(open_failed, gtk_path);
    return false;
  }
  const bool ok = read_table(file, gtk_path, key_area, entry_count);
  // Closing a stream that was only read loses nothing; its result is moot.
  static_cast<void>(std::fclose(file));
  return ok;
}
