// Differential fuzzer for the bump parser: the tool's reader and
// conversion (parse_bump_stream) against the plain fgets + sscanf loop
// (tests/support/bump_reference) on the same bytes.
//
// Input: the first two bytes give entry_count (little-endian, taken modulo
// 4,099, so 0 to 4,098); the rest is the bump file. Both parsers read it
// from a temporary file. Asserted beyond "no crash", aborting on any
// difference: the same outcome (so the same message, or none), and the same
// value table byte for byte (so the same values, bits included, in the same
// order, and the same count: both tables start filled with one pattern).
// Each conversion of every piece fgets gives is also checked against sscanf
// on its own, character counts included.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bump_reference.h"
#include "tool/bump_parser.h"
#include "tool/float_scan.h"
#include "tool/storage.h"

namespace {

std::FILE* stream_of(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::rewind(file);
  return file;
}

void check_conversions(const std::uint8_t* data, std::size_t size) {
  static char line[line_size];
  std::FILE* file = stream_of(data, size);
  long before = std::ftell(file);
  while (std::fgets(line, static_cast<int>(line_size), file) != nullptr) {
    const long after = std::ftell(file);
    char* end = line + (after - before);
    before = after;
    char* p = line;
    for (;;) {
      const scanned_float fast = scan_float(p, end);
      const reference_scan plain = reference_scan_float(p);
      if (fast.converted != plain.converted) std::abort();
      if (!fast.converted) break;
      std::uint32_t a = 0;
      std::uint32_t b = 0;
      std::memcpy(&a, &fast.value, sizeof a);
      std::memcpy(&b, &plain.value, sizeof b);
      if (a != b || fast.consumed != static_cast<std::size_t>(plain.consumed))
        std::abort();
      p += fast.consumed;
    }
  }
  static_cast<void>(std::fclose(file));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t first_two =
      std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8;
  const auto entry_count =
      static_cast<std::uint32_t>(first_two % (value_capacity + 1));
  data += 2;
  size -= 2;

  static std::uint8_t fast_table[value_table_size];
  static std::uint8_t plain_table[value_table_size];
  static std::uint8_t line_area[line_size];
  std::memset(fast_table, 0xA5, sizeof fast_table);
  std::memset(plain_table, 0xA5, sizeof plain_table);

  std::FILE* a = stream_of(data, size);
  const bump_outcome fast =
      parse_bump_stream(a, entry_count, fast_table, line_area);
  static_cast<void>(std::fclose(a));
  std::FILE* b = stream_of(data, size);
  const bump_outcome plain =
      reference_parse_bump_stream(b, entry_count, plain_table, line_area);
  static_cast<void>(std::fclose(b));

  if (fast != plain) std::abort();
  if (std::memcmp(fast_table, plain_table, sizeof fast_table) != 0)
    std::abort();
  check_conversions(data, size);
  return 0;
}
