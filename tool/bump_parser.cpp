#include "bump_parser.h"

#include <cstdio>

#include "float_scan.h"
#include "messages.h"
#include "piece_reader.h"
#include "storage.h"

namespace {

// A piece that begins with what is neither white space nor the start of a
// number holds no value: its first conversion fails at once. Such pieces
// (lines of text, most of all) are passed over where the newlines are
// found. What may begin a number: a digit, a point, a sign, or the i or n
// of inf or nan, in either case.
constexpr piece_filter make_no_number_filter() {
  piece_filter filter{};
  for (bool& pass : filter.pass_over) pass = true;
  constexpr char may_matter[] = "0123456789.+-iInN \t\n\v\f\r";
  for (const char c : may_matter) {
    if (c != 0) filter.pass_over[static_cast<unsigned char>(c)] = false;
  }
  return filter;
}
constexpr piece_filter holds_no_number = make_no_number_filter();

}  // namespace

bump_outcome parse_bump_stream(std::FILE* file, std::uint32_t entry_count,
                               std::uint8_t* value_table,
                               std::uint8_t* line_area) {
  // The area is plain bytes; a char view of it is always allowed.
  char* area = reinterpret_cast<char*>(line_area);
  piece_reader reader;
  piece_reader_init(reader);
  std::size_t stored = 0;
  char* run = nullptr;
  std::size_t length = 0;
  while (next_run(file, area, reader, run, length)) {
    char* const end = run + length;
    char* p = run;
    for (;;) {
      const scanned_run scan = scan_floats(
          p, end, value_table + stored * word_size, entry_count - stored);
      stored += scan.stored;
      if (scan.overflowed) return bump_outcome::wrong_count;
      if (scan.stop == end) break;
      // A conversion failed: the rest of its piece is skipped, and the
      // pieces after it that cannot hold a number. (The area is ours to
      // change: the piece reader gives back a place in it.)
      p = area + (skip_pieces(area, scan.stop, end, holds_no_number) - area);
      if (p == end) break;
    }
  }
  // Like fgets, next_run stops both at the end and on an error; only the
  // end is fine.
  if (std::ferror(file) != 0) return bump_outcome::read_error;
  return stored == entry_count ? bump_outcome::ok : bump_outcome::wrong_count;
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
  // Every read is a large one straight into the line area, so the stream
  // needs no buffer of its own; with one, each read of 32,767 bytes would
  // be two, and a copy. Should this fail, the buffered stream reads the
  // same bytes.
  static_cast<void>(std::setvbuf(file, nullptr, _IONBF, 0));
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
