// Fuzzes read_bump_values with a bump file of arbitrary bytes, against an
// arbitrary entry_count of 0 to 4,098.
//
// Input layout: bytes 0-1 little-endian, modulo 4,099, give entry_count;
// the rest is the bump file.
//
// Beyond "no crash, no sanitizer report, no leak" it asserts:
// - success prints nothing; failure prints exactly the one line
//   "Incorrect number of entries in <path>" (a regular file is always
//   opened and read without error);
// - a successful parse stored exactly entry_count values: the file is
//   parsed twice, over value tables pre-filled with two different bytes,
//   and the first 4 * entry_count bytes come out equal (every one was
//   written, and the parse is repeatable) while every byte after them,
//   and after the line area, keeps its fill;
// - a failed parse writes nothing past 4 * entry_count either.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "tool/bump_parser.h"
#include "tool/messages.h"
#include "tool/storage.h"

namespace {

constexpr std::size_t guard_size = 64;  // canary bytes past each buffer
constexpr std::uint8_t fills[2] = {0xCD, 0x3A};

struct parse_result {
  bool ok;
  std::string printed;
};

std::uint8_t value_tables[2][value_table_size + guard_size];
std::uint8_t line_area[line_size + guard_size];

bool keeps_fill(const std::uint8_t* bytes, std::size_t from, std::size_t to,
                std::uint8_t fill) {
  for (std::size_t n = from; n < to; ++n) {
    if (bytes[n] != fill) return false;
  }
  return true;
}

parse_result parse(const std::string& path, std::uint32_t entry_count,
                   int round) {
  std::uint8_t* table = value_tables[round];
  std::memset(table, fills[round], sizeof value_tables[round]);
  std::memset(line_area, fills[round], sizeof line_area);
  begin_capture();
  const bool ok = read_bump_values(path.c_str(), entry_count, table, line_area);
  std::string printed = end_capture();

  fuzz_check(keeps_fill(table, std::size_t{entry_count} * word_size,
                        sizeof value_tables[round], fills[round]),
             "bytes written past entry_count values");
  fuzz_check(keeps_fill(line_area, line_size, sizeof line_area, fills[round]),
             "bytes written past the line area");
  return {ok, std::move(printed)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return -1;  // not in the layout; libFuzzer drops it
  const std::uint32_t entry_count =
      (std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8) %
      (value_capacity + 1);
  const std::string path = fuzz_dir() + "/input.bump";
  write_bytes(path, data + 2, size - 2);

  const parse_result first = parse(path, entry_count, 0);
  if (!first.ok) {
    fuzz_check(first.printed == message_for(wrong_entry_count, path),
               "wrong failure message:", first.printed);
    return 0;
  }
  fuzz_check(first.printed.empty(),
             "a successful parse printed:", first.printed);
  const parse_result second = parse(path, entry_count, 1);
  fuzz_check(second.ok && second.printed.empty(), "second parse differs");
  fuzz_check(std::memcmp(value_tables[0], value_tables[1],
                         std::size_t{entry_count} * word_size) == 0,
             "not every value stored, or the parse is not repeatable");
  return 0;
}
