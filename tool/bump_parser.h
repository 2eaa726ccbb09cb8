// Reads the bump file: white-space separated floats, exactly entry_count of
// them, converted as the C library's " %f%n" does on lines read with fgets.
//
// A line longer than the line buffer is read in pieces, each parsed on its
// own; a zero byte ends a line's text; where a conversion fails the rest of
// the line is skipped.
#pragma once

#include <cstdint>

// On success the value table (value_table_size bytes) holds entry_count
// floats, 4 bytes each, little-endian, in file order. On failure prints one
// message naming bump_path. line_area (line_size bytes) is scratch. The file
// is closed before returning.
bool read_bump_values(const char* bump_path, std::uint32_t entry_count,
                      std::uint8_t* value_table, std::uint8_t* line_area);
