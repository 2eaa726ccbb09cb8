#include "bump_parser.h"

#include <bit>
#include <cstdio>

#include "crypto/bytes.h"
#include "messages.h"
#include "storage.h"

namespace {

bool parse_lines(std::FILE* file, const char* path, std::uint32_t entry_count,
                 std::uint8_t* value_table, char* line) {
  std::uint32_t count = 0;
  while (std::fgets(line, static_cast<int>(line_size), file) != nullptr) {
    int position = 0;
    float value = 0;
    int consumed = 0;
    while (std::sscanf(line + position, " %f%n", &value, &consumed) == 1) {
      if (count == entry_count) {
        std::printf(wrong_entry_count, path);
        return false;
      }
      store32_le(value_table + count * word_size,
                 std::bit_cast<std::uint32_t>(value));
      ++count;
      position += consumed;
    }
  }
  // fgets gives null both at the end and on an error; only the end is fine.
  if (std::ferror(file) != 0) {
    std::printf(read_failed, path);
    return false;
  }
  if (count != entry_count) {
    std::printf(wrong_entry_count, path);
    return false;
  }
  return true;
}

}  // namespace

bool read_bump_values(const char* bump_path, std::uint32_t entry_count,
                      std::uint8_t* value_table, std::uint8_t* line_area) {
  std::FILE* file = std::fopen(bump_path, "r");
  if (file == nullptr) {
    std::printf(open_failed, bump_path);
    return false;
  }
  // The area is plain bytes; a char view of it is always allowed.
  char* line = reinterpret_cast<char*>(line_area);
  const bool ok = parse_lines(file, bump_path, entry_count, value_table, line);
  // Closing a stream that was only read loses nothing; its result is moot.
  static_cast<void>(std::fclose(file));
  return ok;
}
