#include "float_scan.h"

#include <fast_float/fast_float.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <limits>

#include "crypto/bytes.h"
#include "storage.h"

namespace {

// The six white-space characters of the C locale (the tool never changes the
// locale): the space, and '\t' '\n' '\v' '\f' '\r', which are 9 to 13.
constexpr bool is_space(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

constexpr bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') <= 9;
}

constexpr unsigned digit_value(char c) {
  return static_cast<unsigned char>(c - '0');
}

// ---- The plain form ----

// What one conversion gives: the end of the number, or null where the
// conversion fails, and the float's bits.
struct conversion {
  char* after;
  std::uint32_t bits;
};

constexpr conversion failed{nullptr, 0};

// sscanf(text, " %f%n") itself, for the forms handed to it, at text where
// its white space ends. sscanf measures its whole text before it converts
// anything, so the newline that ends text's piece is made a zero for the
// call: no number goes on past a newline, and the rest of a long run is
// not measured at every call.
[[gnu::noinline]] conversion by_sscanf(char* text, char* end) {
  auto* newline = static_cast<char*>(
      std::memchr(text, '\n', static_cast<std::size_t>(end - text)));
  if (newline != nullptr) *newline = 0;
  float value = 0;
  int consumed = 0;
  const int converted = std::sscanf(text, " %f%n", &value, &consumed);
  if (newline != nullptr) *newline = '\n';
  if (converted != 1) return failed;
  return {text + consumed, std::bit_cast<std::uint32_t>(value)};
}

// Where the decimal conversion stopped at an 'e' or 'E', the end of the
// number for the C library, which takes an exponent marker with no digits,
// and at most one sign after it, as part of the number. A number that
// already has its exponent ends where the conversion ended.
char* past_marker(const char* first, char* stop) {
  for (const char* q = first; q != stop; ++q) {
    if (*q == 'e' || *q == 'E') return stop;
  }
  char* after = stop + 1;
  if (*after == '+' || *after == '-') ++after;
  return after;
}

// One conversion at p, where the white space ends.
[[gnu::noinline]] conversion convert_plain(char* p, char* end) {
  char* number = p;
  if (*p == '+') {
    // The decimal conversion takes no '+'; "+-5" and "++5" must still fail.
    ++number;
    if (*number == '-' || *number == '+') return failed;
  }
  char* first = *number == '-' ? number + 1 : number;
  const char c = *first;
  if (!is_digit(c) && c != '.') {
    if (c == 'i' || c == 'I' || c == 'n' || c == 'N') {
      return by_sscanf(p, end);
    }
    // Nothing else can begin a number; the conversion would say the same.
    return failed;
  }
  if (c == '0' && (first[1] == 'x' || first[1] == 'X')) {
    return by_sscanf(p, end);
  }

  // Correctly rounded, as the C library's conversion is, and out of range
  // it gives what that stores too: +-inf above FLT_MAX's half-way point,
  // +-0 below half the smallest subnormal.
  float value = 0;
  const auto [stop, error] = fast_float::from_chars(number, end, value);
  if (error != std::errc{}) return failed;
  // The conversion stops within the text it was given.
  char* after = p + (stop - p);
  if (*after == 'e' || *after == 'E') after = past_marker(first, after);
  return {after, std::bit_cast<std::uint32_t>(value)};
}

// ---- The fast form ----

// 10^0 to 10^22: every one is exact in a double, since 5^22 < 2^53.
constexpr double exact_powers_of_ten[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::ptrdiff_t max_exact_power = 22;
constexpr std::uint64_t max_exact_mantissa = std::uint64_t{1} << 53;
// 19 digits always fit 64 bits (10^19 < 2^64).
constexpr std::ptrdiff_t max_digits = 19;
// An exponent is read up to this size; any larger one is far outside the
// fast form's reach, so its exact value does not matter there.
constexpr int exponent_cap = 100000;

static_assert(std::numeric_limits<double>::is_iec559 &&
                  std::numeric_limits<float>::is_iec559,
              "the exact double operation needs IEEE 754 binary formats");

// The double operation is correctly rounded: with a mantissa m <= 2^53
// and 10^k exact, m * 10^k and m / 10^k each round once, to nearest, and
// land between 1e-22 and 2^53 * 1e22 < 2^127, inside the normal floats.
// Rounding that double to a float again is then what rounding the exact
// value would give, unless the double is a float half-way point: every
// half-way point is a double, and a value on one side of it never rounds
// to the other. (Where the processor holds the quotient with more bits
// first, as the x87 does, the same holds of each rounding in turn.) The
// half-way points are the doubles whose 29 bits below float precision are
// 1 followed by zeros; those go to the plain form.
constexpr std::uint64_t below_float_precision = (std::uint64_t{1} << 29) - 1;
constexpr std::uint64_t half_way = std::uint64_t{1} << 28;

constexpr std::uint32_t sign_bit = std::uint32_t{1} << 31;

// Adds the digits at q to mantissa, one by one, and moves q past them.
[[gnu::always_inline]] inline void add_digits(char*& q,
                                              std::uint64_t& mantissa) {
  while (is_digit(*q)) mantissa = 10 * mantissa + digit_value(*q++);
}

// ---- Eight digits a word ----
//
// A 64-bit word holds eight characters in text order, the first as its
// lowest byte, whatever the host's byte order (load64_le). In w ^ 0x3030...
// a digit's byte is its value, 0 to 9, and adding 0x76 sets the high bit of
// a byte from 10 up, as does the byte's own high bit; so the lowest byte
// whose high bit not_digits sets is the first that is not a digit. (A byte
// from 0x8a up carries into the next, but only into bytes after a non-digit,
// which no caller looks at; below the first non-digit nothing carries.)
constexpr std::uint64_t zero_digits = 0x3030303030303030;

constexpr std::uint64_t not_digits(std::uint64_t d) {
  return ((d + 0x7676767676767676) | d) & 0x8080808080808080;
}

// The value of the digit bytes of v, the lowest byte the most significant
// digit: pairs, then fours, then all eight combined by multiplies.
constexpr std::uint64_t value_of_digits(std::uint64_t v) {
  v = v * 10 + (v >> 8);
  return ((v & 0x000000ff000000ff) * (100 + (std::uint64_t{1000000} << 32)) +
          ((v >> 16) & 0x000000ff000000ff) *
              (1 + (std::uint64_t{10000} << 32))) >>
         32;
}

constexpr std::uint64_t powers_of_ten[] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Adds the digits at q to mantissa, up to eight of them from one word and
// any after those one by one, and moves q past them. At least eight
// characters from q on are the text's.
[[gnu::always_inline]] inline void add_digits_by_word(char*& q,
                                                      std::uint64_t& mantissa) {
  const std::uint64_t d =
      load64_le(reinterpret_cast<const std::uint8_t*>(q)) ^ zero_digits;
  const std::uint64_t ends = not_digits(d);
  if (ends == 0) [[unlikely]] {  // eight digits, and maybe more
    mantissa = mantissa * powers_of_ten[8] + value_of_digits(d);
    q += 8;
    add_digits(q, mantissa);
    return;
  }
  // The digits as the top bytes of the word, zeros below them.
  const int digit_bits = std::countr_zero(ends) & ~7;
  if (digit_bits == 0) return;
  mantissa = mantissa * powers_of_ten[digit_bits / 8] +
             value_of_digits(d << (64 - digit_bits));
  q += digit_bits / 8;
}

// add_digits where fewer than eight characters of the text are left: the
// end of the digits and the mantissa with them. Out of line, so that the
// compiler does not read the first of them before it knows which way the
// digits are read (clang then keeps that byte, and assembles the word from
// eight loads of a byte each); values in and out, so that nothing of the
// caller's is kept in memory for it.
struct digits_added {
  char* end;
  std::uint64_t mantissa;
};
[[gnu::noinline]] digits_added add_digits_near_end(char* q,
                                                   std::uint64_t mantissa) {
  add_digits(q, mantissa);
  return {q, mantissa};
}

// The digits of a decimal number, both sides of its point, as one integer.
struct numeral {
  std::uint64_t mantissa;      // wraps beyond 19 digits, then unused
  std::ptrdiff_t digits;       // how many, both sides of the point
  std::ptrdiff_t after_point;  // how many of them follow the point
};

// The numeral at q, and q moved past it; none (0 digits) where q holds no
// digit or the 0x of a hexadecimal form. The digits after a point are read
// a word at a time where eight characters of the text follow it: there are
// most of a number's digits, where the ones before it are often few.
[[gnu::always_inline]] inline numeral read_numeral(char*& q, const char* end) {
  const char* const start = q;
  std::uint64_t mantissa = 0;
  add_digits(q, mantissa);
  std::ptrdiff_t digits = q - start;
  std::ptrdiff_t after_point = 0;
  if (*q == '.') {
    const char* const fraction = ++q;
    if (end - q >= 8) {
      add_digits_by_word(q, mantissa);
    } else {
      const digits_added added = add_digits_near_end(q, mantissa);
      q = added.end;
      mantissa = added.mantissa;
    }
    after_point = q - fraction;
    digits += after_point;
  } else if (digits == 1 && mantissa == 0 && (*q == 'x' || *q == 'X'))
      [[unlikely]] {
    digits = 0;  // the 0x of a hexadecimal form: no decimal numeral
  }
  return {mantissa, digits, after_point};
}

// The exponent after the 'e' or 'E' at marker: its value, up to the cap,
// and where it ends. A marker with no digits after it is still part of the
// number, with at most one sign: "1e" and "1e+" are 1, as 1e0.
struct exponent_part {
  char* after;
  std::ptrdiff_t value;
};
exponent_part read_exponent(char* marker) {
  char* after = marker + 1;
  const bool negative = *after == '-';
  if (negative || *after == '+') ++after;
  std::ptrdiff_t exponent = 0;
  for (; is_digit(*after); ++after) {
    if (exponent < exponent_cap) {
      exponent =
          10 * exponent + static_cast<std::ptrdiff_t>(digit_value(*after));
    }
  }
  return {after, negative ? -exponent : exponent};
}

// One conversion at p, where the white space ends, as convert_plain gives
// it: a decimal number of at most 19 digits, whose value is exact in a
// double before its power of ten is applied, is converted here; every
// other text goes to convert_plain.
[[gnu::always_inline]] inline conversion convert_fast(char* p, char* end) {
  char* q = p;
  std::uint32_t sign = 0;
  if (*q == '-') {
    sign = sign_bit;
    ++q;
  } else if (*q == '+') {
    ++q;
  }
  const numeral n = read_numeral(q, end);
  // No decimal numeral (a sign before text, "inf", "nan", ".", "0x",
  // text), more than 19 digits, or a value not exact in a double: the
  // plain form decides.
  if (static_cast<std::size_t>(n.digits - 1) >= 15) [[unlikely]] {
    if (n.digits == 0 || n.digits > max_digits ||
        n.mantissa > max_exact_mantissa) {
      return convert_plain(p, end);
    }
  }

  // Zero needs nothing special: 0 times or over any power is 0, signed.
  double exact = static_cast<double>(static_cast<std::int64_t>(n.mantissa));
  if (*q != 'e' && *q != 'E') [[likely]] {
    exact /= exact_powers_of_ten[n.after_point];  // at most 10^19
  } else {
    const exponent_part exponent = read_exponent(q);
    q = exponent.after;
    const std::ptrdiff_t scale = exponent.value - n.after_point;
    if (scale < -max_exact_power || scale > max_exact_power) {
      return convert_plain(p, end);
    }
    exact = scale < 0 ? exact / exact_powers_of_ten[-scale]
                      : exact * exact_powers_of_ten[scale];
  }
  if ((std::bit_cast<std::uint64_t>(exact) & below_float_precision) == half_way)
      [[unlikely]] {
    return convert_plain(p, end);
  }
  return {q, std::bit_cast<std::uint32_t>(static_cast<float>(exact)) | sign};
}

// White space, as a table: the common case is one character of it.
struct space_table {
  bool at[256];
};
constexpr space_table make_space_table() {
  space_table t{};
  for (int c = 0; c < 256; ++c) t.at[c] = is_space(static_cast<char>(c));
  return t;
}
constexpr space_table white = make_space_table();

char* skip_space(char* p) {
  while (white.at[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

template <conversion (*convert)(char*, char*)>
scanned_float scan_with(char* text, char* end) {
  const conversion c = convert(skip_space(text), end);
  if (c.after == nullptr) return {false, 0.0f, 0};
  return {true, std::bit_cast<float>(c.bits),
          static_cast<std::size_t>(c.after - text)};
}

conversion convert_fast_call(char* p, char* end) {
  return convert_fast(p, end);
}

}  // namespace

scanned_float scan_float(char* text, char* end) {
  return scan_with<convert_fast_call>(text, end);
}

scanned_float scan_float_plain(char* text, char* end) {
  return scan_with<convert_plain>(text, end);
}

scanned_run scan_floats(char* text, char* end, std::uint8_t* values,
                        std::size_t room) {
  std::size_t stored = 0;
  char* p = text;
  for (;;) {
    p = skip_space(p);
    const conversion c = convert_fast(p, end);
    if (c.after == nullptr) return {stored, false, p};
    if (stored == room) return {stored, true, p};
    store32_le(values + stored * word_size, c.bits);
    ++stored;
    p = c.after;
  }
}
