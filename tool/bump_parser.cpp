#include "bump_parser.h"

#include <bit>
#include <cstdio>

#include "crypto/bytes.h"
#include "messages.h"
#include "storage.h"

bump_outcome parse_bump_stream(std::FILE* file, std::uint32_t entry_count,
                               std::uint8_t* value_table,
                               std::uint8_t* line_area) {
  // The area is plain bytes; a char view of it is always allowed.
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
  // fgets gives null both at the end and on an error; only the end is fine.
  if (std::ferror(file) != 0) return bump_outcome::read_error;
  return count == entry_count ? bump_outcome::ok : bump_outcome::wrong_count;
}

bool read_bump_values(const char* bump_path, std::uint32_t entry_count,
                      std::uint8_t* value_table, std::uint8_t* line_area) {
  std::FILE* file = std::fopen(bump_path, "r");
  if (file == nullptr) {
    std::printf(open_failed, bump_path);
    return false;
  }
  const bump_outcome outcome =
      parse_bump_stream(file, entry_count, value_table, line_area);
  std::fclose(file);
  switch (outcome) {
    case bump_outcome::ok:
      return true;
    case bump_outcome::wrong_count:
      std::printf(wrong_entry_count, bump_path);
      return false;
    case bump_outcome::read_error:
      std::printf(read_failed, bump_path);
      return false;
  }
  return false;
}
