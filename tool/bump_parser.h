// Reads the bump file: white-space separated floats, exactly entry_count of
// them, converted as the C library's " %f%n" does on lines read with fgets.
//
// A line longer than the line buffer is read in pieces, each parsed on its
// own; a zero byte ends a line's text; where a conversion fails the rest of
// the line is skipped.
//
// The reading and the conversion are faster forms of fgets and sscanf that
// give the same pieces, values, counts and outcomes on every input: large
// reads cut at the newline, and fast_float on the plain decimal forms, with
// every other form (hexadecimal, infinities, NaNs) handed to sscanf itself.
// The pieces are exposed so that tests can hold each against its plain
// counterpart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// On success the value table (value_table_size bytes) holds entry_count
// floats, 4 bytes each, little-endian, in file order. On failure prints one
// message naming bump_path. line_area (line_size bytes) is scratch. The file
// is closed before returning.
bool read_bump_values(const char* bump_path, std::uint32_t entry_count,
                      std::uint8_t* value_table, std::uint8_t* line_area);

// What parsing an open bump stream came to; each failure has one message.
enum class bump_outcome {
  ok,           // exactly entry_count values stored
  wrong_count,  // too few at the end, or one too many converted
  read_error,   // a read failed before the end of the file
};

// The parse of read_bump_values on a stream already open, without the
// message, so that other readers of the same bytes can be compared with it.
bump_outcome parse_bump_stream(std::FILE* file, std::uint32_t entry_count,
                               std::uint8_t* value_table,
                               std::uint8_t* line_area);

// The result of one " %f%n" conversion.
struct scanned_float {
  bool converted;        // false where sscanf returns 0 or EOF
  float value;           // 0 unless converted
  std::size_t consumed;  // what %n stores: white space included
};

// Gives what sscanf(text, " %f%n", ...) gives. end is the end of the text
// and must hold a zero (*end == 0); a zero byte before it ends the text
// there, as it ends sscanf's.
scanned_float scan_float(const char* text, const char* end);

// Cuts a stream into the pieces std::fgets(area, line_size, file) would
// give, one after another: at most line_size - 1 characters, through a
// newline. It reads in large blocks into the line area itself, so a piece
// stays where it was read.
struct piece_reader {
  std::size_t begin;  // the unread text is area[begin, end)
  std::size_t end;
  std::size_t cut;  // where the last piece's terminating zero was put
  char held;        // the character the zero replaced
  bool drained;     // no more reads: end of file or a read error
};

void piece_reader_init(piece_reader& reader);

// Gives the next piece, zero-terminated in area (piece[length] == 0), and
// true; or false at the end of the file or on a read error, when fgets gives
// a null pointer. As with fgets, a piece cut short by a read error is not
// given; std::ferror tells the error from the end. area is the line_size
// bytes of the line area and must not be changed between calls.
bool next_piece(std::FILE* file, char* area, piece_reader& reader, char*& piece,
                std::size_t& length);
