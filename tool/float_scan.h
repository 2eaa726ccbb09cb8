// The bump file's conversion: what the C library's sscanf(text, " %f%n")
// gives, on every input, without calling it for the forms numbers are
// written in.
//
// Two forms stand side by side. The plain one skips white space and a '+'
// by hand, converts decimal numbers with fast_float and takes an exponent
// marker without digits as the C library does; it hands hexadecimal forms,
// infinities and NaNs to sscanf itself. The fast one reads a decimal
// number once, and where it has at most 19 digits and a power of ten
// within 1e+-22 converts it with one correctly rounded double operation,
// rounded to a float only where that second rounding cannot differ from a
// direct one; everything else it leaves to the plain form. Nothing is
// allocated, and the text is only read, but for the newline that a call of
// sscanf finds a zero in place of while it runs.
#pragma once

#include <cstddef>
#include <cstdint>

// The result of one " %f%n" conversion.
struct scanned_float {
  bool converted;        // false where sscanf returns 0 or EOF
  float value;           // 0 unless converted
  std::size_t consumed;  // what %n stores: white space included
};

// Gives what sscanf(text, " %f%n", ...) gives. end is the end of the text
// and must hold a zero (*end == 0); a zero byte before it ends the text
// there, as it ends sscanf's. Where sscanf itself is called, a newline in
// the text is replaced by a zero for the call and then put back.
scanned_float scan_float(char* text, char* end);

// The same through the plain form alone.
scanned_float scan_float_plain(char* text, char* end);

// What converting numbers one after another came to.
struct scanned_run {
  std::size_t stored;  // values stored, at most room
  bool overflowed;     // one more number converted after room were stored
  char* stop;          // where the conversion that failed began, after its
                       // white space; end once only white space is left
};

// Converts numbers one after another from text, each where the last one
// ended, until a conversion fails, storing each in values as 4 bytes,
// little-endian, up to room of them; a number converted beyond that ends
// the scan with overflowed set. text[0, end) is a run of pieces read with
// fgets, laid end to end, each ending with its newline but perhaps the
// last, and *end == 0: the values are those of sscanf(" %f%n") on each
// piece in turn, as long as no conversion fails. A newline is white space
// to the conversion, so skipping it and the white space after it finds the
// number that a fresh conversion at the start of the next piece finds.
scanned_run scan_floats(char* text, char* end, std::uint8_t* values,
                        std::size_t room);
