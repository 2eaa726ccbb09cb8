#include "bump_reference.h"

#include <bit>

#include "crypto/bytes.h"
#include "tool/storage.h"

bump_outcome reference_parse_bump_stream(std::FILE* file,
                                         std::uint32_t entry_count,
                                         std::uint8_t* value_table,
                                         std::uint8_t* line_area) {
  char* line = reinterpret_cast<char*>(line_area);
  std::uint32_t count = 0;
  while (std::fgets(line, static_cast<int>(line_size), file) != nullptr) {
    int position = 0;
    float value = 0;
    int consumed = 0;
    while (std::sscanf(line + position, " %f%n", &value, &consumed) == 1) {
      if (count == entry_count) return bump_outcome::wrong_count;
      store32_le(value_table + count * word_size,
                 std::bit_cast<std::uint32_t>(value));
      ++count;
      position += consumed;
    }
  }
  if (std::ferror(file) != 0) return bump_outcome::read_error;
  return count == entry_count ? bump_outcome::ok : bump_outcome::wrong_count;
}

reference_scan reference_scan_float(const char* text) {
  float value = 0;
  int consumed = 0;
  const bool converted = std::sscanf(text, " %f%n", &value, &consumed) == 1;
  return {converted, converted ? value : 0.0f, converted ? consumed : 0};
}
