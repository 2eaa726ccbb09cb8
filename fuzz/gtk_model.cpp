#include "gtk_model.h"

#include <cstring>

#include "crypto/bytes.h"
#include "crypto/tea.h"
#include "tool/gtk_reader.h"
#include "tool/messages.h"
#include "tool/storage.h"

gtk_expectation model_gtk(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t header_end = gtk_leading_size + record_size;
  if (size < header_end) return {read_failed, 0, {}};

  std::uint8_t record[record_size];
  std::memcpy(record, data + gtk_leading_size, record_size);
  decipher_record(record);
  const std::uint32_t count = load32_le(record + word_size * entry_count_word);
  if (count > value_capacity) return {too_many_entries, count, {}};

  // The table ends the file; a table longer than the file cannot be found.
  const std::size_t table_size = std::size_t{count} * slot_size;
  if (table_size > size) return {seek_failed, count, {}};

  gtk_expectation result{nullptr, count, {}};
  const std::uint8_t* slot = data + (size - table_size);
  for (std::uint32_t n = 0; n < count; ++n, slot += slot_size) {
    std::memcpy(record, slot, record_size);
    decipher_record(record);
    const bool key_in_w3 = load32_le(record) == 1;
    result.keys.push_back(load32_le(record + (key_in_w3 ? 3 : 1) * word_size));
  }
  return result;
}
