// Fixture files for the benchmarks and bench/run-costs: a table of the
// largest size a run accepts, its entry keys, and bump texts in the two
// layouts that cost differently (one value a line, and all values on one
// line), of short numbers and of numbers as tessera-open prints them.
// Seeded, so every run measures the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gtk_writer.h"

std::vector<gtk_entry> bench_entries(std::size_t count);

// count numbers of the form -12.34 (one to three digits before the point,
// two after, a sign on about half), so that 4,098 of them on one line still
// fit one 32,767-character piece.
std::vector<std::string> bench_numbers(std::size_t count);

// count floats drawn uniformly from (-bound, bound) and printed with
// format, one printf conversion of a double: "%.9g" over 1000 gives
// -123.456787 (nine significant digits, as tessera-open writes them),
// "%.3g" over 9 gives -4.56.
std::vector<std::string> printed_numbers(std::size_t count, double bound,
                                         const char* format);

std::string bump_one_per_line(const std::vector<std::string>& numbers);
std::string bump_all_on_one_line(const std::vector<std::string>& numbers);

void write_bytes(const std::string& path, const std::string& bytes);
void write_bytes(const std::string& path,
                 const std::vector<std::uint8_t>& bytes);
