#include "bump_parser.h"

#include <fast_float/fast_float.h>

#include <bit>
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

// Whether a conversion can succeed at c, the first character after white
// space: a digit, a point, a sign, or the i or n of inf or nan.
struct number_starts {
  bool at[256];
};
constexpr number_starts make_number_starts() {
  number_starts t{};
  for (const char c : "0123456789.-+iInN") {
    t.at[static_cast<unsigned char>(c)] = c != 0;
  }
  return t;
}
constexpr number_starts number_start = make_number_starts();

constexpr bool may_begin_number(char c) {
  return number_start.at[static_cast<unsigned char>(c)];
}

// sscanf(text, " %f%n") itself, for the forms handed to it. The text ends
// at end: where that is not already a zero (a piece that ends with its
// newline is parsed without one), a zero is put there for the call, so
// that sscanf neither reads past the piece nor measures what follows it.
[[gnu::noinline]] const char* by_sscanf(const char* text, const char* end,
                                        float& value) {
  char* const mark = const_cast<char*>(end);
  const char held = *mark;
  *mark = 0;
  int consumed = 0;
  const int converted = std::sscanf(text, " %f%n", &value, &consumed);
  *mark = held;
  return converted == 1 ? text + consumed : nullptr;
}

// Where the decimal conversion stopped at an 'e' or 'E', the end of the
// number for the C library, which takes an exponent marker with no digits,
// and at most one sign after it, as part of the number. A number that
// already has its exponent ends where the conversion ended.
[[gnu::noinline]] const char* past_marker(const char* first, const char* stop) {
  for (const char* q = first; q != stop; ++q) {
    if (*q == 'e' || *q == 'E') return stop;
  }
  const char* after = stop + 1;
  if (*after == '+' || *after == '-') ++after;
  return after;
}

// convert, for text whose white space ends at p.
[[gnu::always_inline]] inline const char* convert_at(const char* text,
                                                     const char* p,
                                                     const char* end,
                                                     float& value) {
  const char* number = p;
  if (*p == '+') {
    // The decimal conversion takes no '+'; "+-5" and "++5" must still fail.
    ++number;
    if (*number == '-' || *number == '+') return nullptr;
  }
  const char* first = *number == '-' ? number + 1 : number;
  const char c = *first;
  if (!is_digit(c) && c != '.') {
    if (c == 'i' || c == 'I' || c == 'n' || c == 'N') [[unlikely]] {
      return by_sscanf(text, end, value);
    }
    // Nothing else can begin a number; the conversion would say the same.
    return nullptr;
  }
  if (c == '0' && (first[1] == 'x' || first[1] == 'X')) [[unlikely]] {
    return by_sscanf(text, end, value);
  }

  // Correctly rounded, as the C library's conversion is, and out of range
  // it gives what that stores too: +-inf above FLT_MAX's half-way point,
  // +-0 below half the smallest subnormal.
  const auto [stop, error] = fast_float::from_chars(number, end, value);
  if (error != std::errc{}) return nullptr;

  if (*stop == 'e' || *stop == 'E') [[unlikely]] {
    return past_marker(first, stop);
  }
  return stop;
}

// One conversion at text. In a piece, a newline can only be its last
// character, so white space stops there: what follows is the next piece.
template <bool in_piece>
[[gnu::always_inline]] inline const char* convert(const char* text,
                                                  const char* end,
                                                  float& value) {
  const char* p = text;
  while (is_space(*p) && !(in_piece && *p == '\n')) ++p;
  return convert_at(text, p, end, value);
}

// Moves the unread text area[begin, end) to the front of the area and fills
// it behind with one large read, leaving the last byte for a terminating
// zero: the new end, and whether the stream is drained. Kept out of line:
// it runs once per 32 KB, and the loop that cuts pieces stays small.
struct refilled {
  std::size_t end;
  bool drained;
};
[[gnu::noinline]] refilled refill(std::FILE* file, char* area,
                                  std::size_t begin, std::size_t end) {
  const std::size_t unread = end - begin;
  std::memmove(area, area + begin, unread);
  const std::size_t wanted = max_piece - unread;
  const std::size_t got = std::fread(area + unread, 1, wanted, file);
  // The byte after the text is always set, so that a piece which ends at
  // the text's end is followed by a known zero (read by by_sscanf).
  area[unread + got] = 0;
  return {unread + got, got < wanted};
}

// The length of the piece fgets would give next, from area[begin] on,
// reading more as needed; 0 when fgets would give none: at the end of the
// file, or after a read error, which drops the piece it cut short.
[[gnu::always_inline]] inline std::size_t next_length(std::FILE* file,
                                                      char* area,
                                                      std::size_t& begin,
                                                      std::size_t& end,
                                                      bool& drained) {
  for (;;) {
    const std::size_t unread = end - begin;
    const std::size_t span = unread < max_piece ? unread : max_piece;
    const void* newline = std::memchr(area + begin, '\n', span);
    if (newline != nullptr) {
      return static_cast<std::size_t>(static_cast<const char*>(newline) -
                                      (area + begin)) +
             1;
    }
    if (unread >= max_piece) return max_piece;
    if (drained) {
      // The last piece has no newline; fgets gives it at the end of the
      // file, and nothing after a read error.
      if (unread == 0 || std::ferror(file) != 0) return 0;
      return unread;
    }
    const refilled r = refill(file, area, begin, end);
    begin = 0;
    end = r.end;
    drained = r.drained;
  }
}

}  // namespace

void piece_reader_init(piece_reader& reader) { reader = {0, 0, 0, 0, false}; }

scanned_float scan_float(const char* text, const char* end) {
  float value = 0;
  const char* after = convert<false>(text, end, value);
  if (after == nullptr) return {false, 0.0f, 0};
  return {true, value, static_cast<std::size_t>(after - text)};
}

bool next_piece(std::FILE* file, char* area, piece_reader& reader, char*& piece,
                std::size_t& length) {
  area[reader.cut] = reader.held;
  length = next_length(file, area, reader.begin, reader.end, reader.drained);
  if (length == 0) return false;
  piece = area + reader.begin;
  reader.begin += length;
  reader.cut = reader.begin;
  reader.held = area[reader.cut];
  area[reader.cut] = 0;
  return true;
}

bump_outcome parse_bump_stream(std::FILE* file, std::uint32_t entry_count,
                               std::uint8_t* value_table,
                               std::uint8_t* line_area) {
  // The area is plain bytes; a char view of it is always allowed. The same
  // cutting as next_piece, with its state in local variables.
  char* area = reinterpret_cast<char*>(line_area);
  std::size_t begin = 0;
  std::size_t end = 0;
  bool drained = false;
  // The values fill the table up to entry_count values, 4 bytes each.
  const std::size_t wanted = std::size_t{entry_count} * word_size;
  std::size_t stored = 0;
  while (const std::size_t length =
             next_length(file, area, begin, end, drained)) {
    char* piece = area + begin;
    char* stop = piece + length;
    // A piece that begins (after white space) with what cannot begin a
    // number holds no value: the conversion would fail at once. Found
    // first, within the piece, and such a piece is left as it was read, so
    // that lines of text cost little.
    const char* first = piece;
    if (!is_digit(*first)) {  // most lines of numbers begin with a digit
      while (first != stop && is_space(*first)) ++first;
      if (first == stop || !may_begin_number(*first)) {
        begin += length;
        continue;
      }
    }
    // The piece is parsed where it was read. One that ends with its newline
    // needs no terminating zero; any other (a cut piece, or the last one)
    // gets one for the time it is parsed.
    const bool newline_ended = stop[-1] == '\n';
    const char held = *stop;
    if (!newline_ended) *stop = 0;
    float value = 0;
    for (const char* p = convert_at(piece, first, stop, value); p != nullptr;
         p = convert<true>(p, stop, value)) {
      if (stored == wanted) return bump_outcome::wrong_count;
      store32_le(value_table + stored, std::bit_cast<std::uint32_t>(value));
      stored += word_size;
      // A newline ends the piece: skip the call that would fail there.
      if (*p == '\n') break;
    }
    if (!newline_ended) *stop = held;
    begin += length;
  }
  // Like fgets, next_piece stops both at the end and on an error; only the
  // end is fine.
  if (std::ferror(file) != 0) return bump_outcome::read_error;
  return stored == wanted ? bump_outcome::ok : bump_outcome::wrong_count;
}

bool read_bump_values(const char* bump_path, std::uint32_t entry_count,
                      std::uint8_t* value_table, std::uint8_t* line_area) {
  // Binary mode, so that every platform reads the same bytes: in text mode
  // Windows would turn CR LF into LF, which changes nothing here, but would
  // also end the file at the first ^Z (0x1A) byte.
  std::FILE* file = std::fopen(bump_path, "rb");
  if (file == nullptr) {
    std::printf(open_failed, bump_path);
    return false;
  }
  const bump_outcome outcome =
      parse_bump_stream(file, entry_count, value_table, line_area);
  // Closing a stream that was only read loses nothing; its result is moot.
  static_cast<void>(std::fclose(file));
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
