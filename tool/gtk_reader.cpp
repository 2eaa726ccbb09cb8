#include "gtk_reader.h"

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

bool read_table(std::FILE* file, const char* path, std::uint8_t* key_area,
                std::uint32_t& entry_count, std::uint32_t* entry_kinds) {
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

  // The slots are read two at a time, one read for both, and their records
  // deciphered side by side: the second record is moved up against the
  // first, over the first slot's unread half. Every read is still checked,
  // and a short one is the same failure wherever in a slot it falls.
  std::uint8_t slots[2 * slot_size];
  for (std::uint32_t n = 0; n < count;) {
    const std::uint32_t in_hand = count - n >= 2 ? 2 : 1;
    if (!read_exactly(file, slots, in_hand * slot_size)) {
      std::printf(read_failed, path);
      return false;
    }
    if (in_hand == 2) {
      std::memmove(slots + record_size, slots + slot_size, record_size);
    }
    decipher_records(slots, in_hand);
    for (std::uint32_t r = 0; r < in_hand; ++r, ++n) {
      const std::uint8_t* clear = slots + r * record_size;
      const std::uint32_t kind = load32_le(clear);
      const std::uint32_t key = kind == kind_with_key_in_w3
                                    ? load32_le(clear + 3 * word_size)
                                    : load32_le(clear + 1 * word_size);
      store32_le(key_area + n * word_size, key);
      if (entry_kinds != nullptr) entry_kinds[n] = kind;
    }
  }
  entry_count = count;
  return true;
}

}  // namespace

bool read_entry_table(const char* gtk_path, std::uint8_t* key_area,
                      std::uint32_t& entry_count, std::uint32_t* entry_kinds) {
  std::FILE* file = std::fopen(gtk_path, "rb");
  if (file == nullptr) {
    std::printf(open_failed, gtk_path);
    return false;
  }
  const bool ok =
      read_table(file, gtk_path, key_area, entry_count, entry_kinds);
  // Closing a stream that was only read loses nothing; its result is moot.
  static_cast<void>(std::fclose(file));
  return ok;
}
