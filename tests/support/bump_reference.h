// The plain bump-file loop, kept beside the tool as the reference that its
// faster reader and parser must match byte for byte: fgets into the
// line_size-byte line area, then sscanf(" %f%n") from the last position
// until a conversion fails. Tests, benchmarks and the differential fuzzer
// drive both on the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tool/bump_parser.h"

bump_outcome reference_parse_bump_stream(std::FILE* file,
                                         std::uint32_t entry_count,
                                         std::uint8_t* value_table,
                                         std::uint8_t* line_area);

// The reference conversion of one token: sscanf(text, " %f%n", ...).
struct reference_scan {
  bool converted;
  float value;
  int consumed;
};
reference_scan reference_scan_float(const char* text);
