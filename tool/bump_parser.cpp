#include "bump_parser.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "crypto/bytes.h"
#include "messages.h"
#include "storage.h"

namespace {

// fgets keeps one byte of the buffer for the terminating zero.
constexpr std::size_t max_piece = line_size - 1;

// The six white-space characters of the C locale (the tool never changes the
// locale): the space, and '\t' '\n' '\v' '\f' '\r', which are 9 to 13.
constexpr bool is_space(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

constexpr bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') <= 9;
}

// sscanf(text, " %f%n") itself, for the forms handed to it.
[[gnu::noinline]] const char* by_sscanf(const char* text, float& value) {
  int consumed = 0;
  if (std::sscanf(text, " %f%n", &value, &consumed) != 1) return nullptr;
  return text + consumed;
}

// One " %f%n" conversion at text: the end of what it consumed, with the
// value stored, or null where it fails. Inlined into the parse loop, which
// runs it once or twice a line.
//
// Where from_chars cannot be shown to agree with the C library, sscanf
// decides: hexadecimal forms (their "0x" failures and "0x." are odd),
// infinities and NaNs ("infinit" fails, "nan(1)" stops after "nan"), and
// values out of range (sscanf stores a signed infinity or zero, which
// from_chars does not report).
[[gnu::always_inline]] inline const char* convert(const char* text,
                                                  const char* end,
                                                  float& value) {
  const char* p = text;
  while (is_space(*p)) ++p;
  const char* number = p;
  if (*p == '+') {
    // from_chars takes no '+'; "+-5" and "++5" must still fail.
    ++number;
    if (*number == '-' || *number == '+') return nullptr;
  }
  const char* first = *number == '-' ? number + 1 : number;
  const char c = *first;
  if (!is_digit(c) && c != '.') {
    if (c == 'i' || c == 'I' || c == 'n' || c == 'N') {
      return by_sscanf(text, value);
    }
    // Nothing else can begin a number; from_chars would say the same.
    return nullptr;
  }
  if (c == '0' && (first[1] == 'x' || first[1] == 'X')) {
    return by_sscanf(text, value);
  }

  const auto [stop, error] = std::from_chars(number, end, value);
  if (error == std::errc::invalid_argument) return nullptr;
  if (error != std::errc{}) return by_sscanf(text, value);

  const char* after = stop;
  if (*after == 'e' || *after == 'E') {
    // The C library takes an exponent marker with no digits, and at most one
    // sign after it, as part of the number; from_chars stops before it. A
    // number that already has its exponent ends where from_chars ended.
    bool has_exponent = false;
    for (const char* q = first; q != stop; ++q) {
      if (*q == 'e' || *q == 'E') has_exponent = true;
    }
    if (!has_exponent) {
      ++after;
      if (*after == '+' || *after == '-') ++after;
    }
  }
  return after;
}

[[gnu::always_inline]] inline bool cut_piece(std::FILE* file, char* area,
                                             piece_reader& reader, char*& piece,
                                             std::size_t& length) {
  area[reader.cut] = reader.held;
  for (;;) {
    const std::size_t unread = reader.end - reader.begin;
    const std::size_t span = unread < max_piece ? unread : max_piece;
    const void* newline = std::memchr(area + reader.begin, '\n', span);
    if (newline != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char*>(newline) -
                                        (area + reader.begin)) +
               1;
      break;
    }
    if (unread >= max_piece) {
      length = max_piece;
      break;
    }
    if (reader.drained) {
      // The last piece has no newline. fgets gives it at the end of the
      // file, and nothing after a read error.
      if (unread == 0 || std::ferror(file) != 0) return false;
      length = unread;
      break;
    }
    // Move the partial piece to the front and fill the area behind it,
    // leaving the last byte for a terminating zero.
    std::memmove(area, area + reader.begin, unread);
    reader.begin = 0;
    reader.end = unread;
    const std::size_t wanted = max_piece - unread;
    const std::size_t got = std::fread(area + unread, 1, wanted, file);
    reader.end += got;
    if (got < wanted) reader.drained = true;
  }
  piece = area + reader.begin;
  reader.begin += length;
  reader.cut = reader.begin;
  reader.held = area[reader.cut];
  area[reader.cut] = 0;
  return true;
}

}  // namespace

void piece_reader_init(piece_reader& reader) { reader = {0, 0, 0, 0, false}; }

scanned_float scan_float(const char* text, const char* end) {
  float value = 0;
  const char* after = convert(text, end, value);
  if (after == nullptr) return {false, 0.0f, 0};
  return {true, value, static_cast<std::size_t>(after - text)};
}

bool next_piece(std::FILE* file, char* area, piece_reader& reader, char*& piece,
                std::size_t& length) {
  return cut_piece(file, area, reader, piece, length);
}

bump_outcome parse_bump_stream(std::FILE* file, std::uint32_t entry_count,
                               std::uint8_t* value_table,
                               std::uint8_t* line_area) {
  // The area is plain bytes; a char view of it is always allowed.
  char* area = reinterpret_cast<char*>(line_area);
  piece_reader reader;
  piece_reader_init(reader);
  std::uint32_t count = 0;
  char* piece = nullptr;
  std::size_t length = 0;
  while (cut_piece(file, area, reader, piece, length)) {
    const char* end = piece + length;
    float value = 0;
    for (const char* p = piece; (p = convert(p, end, value)) != nullptr;) {
      if (count == entry_count) return bump_outcome::wrong_count;
      store32_le(value_table + count * word_size,
                 std::bit_cast<std::uint32_t>(value));
      ++count;
      // A newline only ever ends a piece, and only white space is left after
      // it, where the next conversion would fail: skip that call.
      if (*p == '\n') break;
    }
  }
  // Like fgets, next_piece stops both at the end and on an error; only the
  // end is fine.
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
