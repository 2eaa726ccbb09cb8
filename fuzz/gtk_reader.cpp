// Fuzzes read_entry_table with a gtk file of arbitrary bytes.
//
// Beyond "no crash, no sanitizer report, no leak" it asserts, against the
// in-memory model of the format (gtk_model.h):
// - the outcome is the model's: the same failure message, naming the path,
//   or success with the same entry_count (so never above 4,098) and the
//   same entry keys in table order, and nothing printed;
// - exactly 4 * entry_count bytes of the key area are written on success
//   and none at all on failure (a failure comes before any key is stored),
//   and nothing past the end of the area is ever touched.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "crypto/bytes.h"
#include "fuzz_support.h"
#include "gtk_model.h"
#include "tool/gtk_reader.h"
#include "tool/storage.h"

namespace {

constexpr std::size_t guard_size = 64;  // canary bytes past the key area
constexpr std::uint8_t canary = 0xCD;

std::uint8_t key_area[key_area_size + guard_size];

bool untouched_from(std::size_t start) {
  for (std::size_t n = start; n < sizeof key_area; ++n) {
    if (key_area[n] != canary) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string path = fuzz_dir() + "/input.gtk";
  write_bytes(path, data, size);
  std::memset(key_area, canary, sizeof key_area);

  std::uint32_t entry_count = 0;
  begin_capture();
  const bool ok = read_entry_table(path.c_str(), key_area, entry_count);
  const std::string printed = end_capture();

  const gtk_expectation expected = model_gtk(data, size);
  if (expected.failure != nullptr) {
    fuzz_check(!ok, "read succeeded where it must fail");
    fuzz_check(printed == message_for(expected.failure, path),
               "wrong failure message:", printed);
    fuzz_check(untouched_from(0), "a failed read stored entry keys");
    return 0;
  }
  fuzz_check(ok, "read failed where it must succeed:", printed);
  fuzz_check(printed.empty(), "a successful read printed:", printed);
  fuzz_check(entry_count == expected.entry_count, "wrong entry_count");
  fuzz_check(entry_count <= value_capacity, "entry_count above the cap");
  for (std::uint32_t n = 0; n < entry_count; ++n) {
    fuzz_check(load32_le(key_area + n * word_size) == expected.keys[n],
               "wrong entry key at", std::to_string(n));
  }
  fuzz_check(untouched_from(std::size_t{entry_count} * word_size),
             "bytes written past the entry keys");
  return 0;
}
