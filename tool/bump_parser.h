// Reads the bump file: white-space separated floats, exactly entry_count of
// them, converted as the C library's " %f%n" does on lines read with fgets.
//
// A line longer than the line buffer is read in pieces, each parsed on its
// own; a zero byte ends a line's text; where a conversion fails the rest of
// the line is skipped.
//
// The reading and the conversion are faster forms of fgets and sscanf that
// give the same pieces, values, counts and outcomes on every input: the
// pieces come from piece_reader.h, the conversions from float_scan.h.
#pragma once

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
