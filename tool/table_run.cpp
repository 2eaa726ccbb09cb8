#include "table_run.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "crypto/bytes.h"
#include "gtk_reader.h"
#include "messages.h"
#include "run.h"
#include "signals.h"
#include "storage.h"

namespace {

constexpr int expected_argc = 2;  // the program and one path

constexpr char count_label[] = "entry_count ";
constexpr std::size_t count_label_size = sizeof count_label - 1;
constexpr char hex_digits[] = "0123456789abcdef";
constexpr std::size_t word_decimal_digits = 10;  // 4294967295
constexpr std::size_t word_hex_digits = 8;

// An entry's line at its longest: two words in decimal (index and kind), the
// key in hex, two spaces and the newline. The first line is shorter.
constexpr std::size_t longest_line =
    2 * word_decimal_digits + word_hex_digits + 3;

// The lines are formatted by hand into a chunk of text that goes to standard
// output a whole chunk at a time. Three printf conversions a line cost four
// times what reading and deciphering the table does: a 4,098-entry run took
// 7.6 million instructions with printf, 2.6 million so.
constexpr std::size_t text_chunk_size = 4096;
static_assert(count_label_size + word_decimal_digits + 1 <= longest_line &&
                  longest_line <= text_chunk_size,
              "every line fits the chunk");

// Each put_ writes at text[at] and returns the position after what it wrote.
std::size_t put_decimal(char* text, std::size_t at, std::uint32_t value) {
  char reversed[word_decimal_digits];
  std::size_t digits = 0;
  do {
    reversed[digits++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (digits > 0) text[at++] = reversed[--digits];
  return at;
}

std::size_t put_hex(char* text, std::size_t at, std::uint32_t value) {
  for (std::size_t n = word_hex_digits; n > 0; --n) {
    text[at++] = hex_digits[(value >> (4 * (n - 1))) & 0xFU];
  }
  return at;
}

bool write_text(const char* text, std::size_t size) {
  return std::fwrite(text, 1, size, stdout) == size;
}

bool print_table(const std::uint8_t* key_area, const std::uint32_t* entry_kinds,
                 std::uint32_t entry_count) {
  char text[text_chunk_size];
  std::memcpy(text, count_label, count_label_size);
  std::size_t used = put_decimal(text, count_label_size, entry_count);
  text[used++] = '\n';

  for (std::uint32_t n = 0; n < entry_count; ++n) {
    if (text_chunk_size - used < longest_line) {
      // A pipe whose reader has gone takes nothing more: stop at once.
      if (!write_text(text, used)) return false;
      used = 0;
    }
    used = put_decimal(text, used, n);
    text[used++] = ' ';
    used = put_decimal(text, used, entry_kinds[n]);
    text[used++] = ' ';
    used = put_hex(text, used, load32_le(key_area + n * word_size));
    text[used++] = '\n';
  }
  // Lines that never reached standard output (a closed pipe, a full disk)
  // fail the run. No message can say so: messages go to standard output too.
  return write_text(text, used) && std::fflush(stdout) == 0 &&
         std::ferror(stdout) == 0;
}

bool list_table(const char* gtk_path) {
  std::uint32_t entry_count = 0;
  std::uint8_t key_area[key_area_size];
  std::uint32_t entry_kinds[value_capacity];

  if (!read_entry_table(gtk_path, key_area, entry_count, entry_kinds)) {
    return false;
  }
  return print_table(key_area, entry_kinds, entry_count);
}

}  // namespace

int run_table(int argc, const char* const* argv) {
  ignore_write_signals();
  if (argc != expected_argc) {
    // Like every message, the usage line is best effort: the status says 1.
    static_cast<void>(std::fputs(table_usage_message, stdout));
    return run_failed;
  }
  return list_table(argv[1]) ? run_succeeded : run_failed;
}
