// The bump parser's fast paths held against the plain forms they replace:
// each conversion, fast and plain, against sscanf(" %f%n") itself; the
// pieces of every run and of the plain reader, with every newline mask,
// against fgets; skipping pieces against its plain form; and whole
// streams, read errors included, against the reference loop in
// tests/support/bump_reference. Any divergence in a value's bits, a count
// of consumed characters, a piece or an outcome fails here.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bump_reference.h"
#include "crypto/bytes.h"
#include "tool/bump_parser.h"
#include "tool/float_scan.h"
#include "tool/piece_reader.h"
#include "tool/storage.h"

namespace {

// Compares the conversion with sscanf on text[0, size), which the caller
// has zero-terminated at text[size]: the plain form, and the fast one both
// on the text alone and with a newline and white space after it, where it
// reads digits eight at a time. The conversion gets its own copy, since it
// may put a zero over a newline for a while.
::testing::AssertionResult same_as_sscanf(const char* text, std::size_t size) {
  const reference_scan plain = reference_scan_float(text);
  const auto bits = [](float v) { return std::bit_cast<std::uint32_t>(v); };
  struct form {
    const char* name;
    bool fast;
    std::size_t padding;
  };
  for (const form f : {form{"fast", true, 0}, form{"plain", false, 0},
                       form{"fast, padded,", true, 16}}) {
    std::string copy(text, size);
    if (f.padding != 0) copy += "\n" + std::string(f.padding - 1, ' ');
    char* end = copy.data() + copy.size();
    const scanned_float mine = f.fast ? scan_float(copy.data(), end)
                                      : scan_float_plain(copy.data(), end);
    if (mine.converted == plain.converted &&
        (!mine.converted ||
         (bits(mine.value) == bits(plain.value) &&
          mine.consumed == static_cast<std::size_t>(plain.consumed)))) {
      continue;
    }
    char shown[64];
    std::snprintf(shown, sizeof shown, "%08x/%zu vs %08x/%d", bits(mine.value),
                  mine.consumed, bits(plain.value), plain.consumed);
    return ::testing::AssertionFailure()
           << "text \"" << std::string(text, size) << "\": " << f.name
           << " form " << (mine.converted ? "converts" : "fails") << ", sscanf "
           << (plain.converted ? "converts" : "fails") << " (" << shown << ")";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult same_as_sscanf(const std::string& text) {
  return same_as_sscanf(text.c_str(), text.size());
}

// Every form the C library treats in its own way, and the plain forms
// beside them: white space, signs, points, exponents without digits,
// hexadecimal, infinities, NaNs, the edges of the float range, rounding.
const char* const tricky[] = {
    "1",
    " 1",
    "\t\v\f\r\n1",
    "1-2",
    "1.5.5",
    ".5",
    "5.",
    ".",
    "-",
    "+",
    "+.",
    "-.5",
    "+5",
    "+-5",
    "-+5",
    "++5",
    "--5",
    "- 1",
    "+ 1",
    "00012",
    "1e",
    "1e+",
    "1e-",
    "1ex",
    "1e 5",
    "1e+-5",
    "1ee5",
    "1e5",
    "1E-3x",
    "1e5e5",
    "5.e5",
    "1.e",
    ".e5",
    "0e",
    "0E+",
    "-1e",
    "+1e-",
    "1.5e",
    "1.5E",
    "1e+5e",
    "1e-0",
    "0x",
    "0x1p3",
    "0X1P+3",
    "-0x1p3",
    "+0x1p3",
    "0x1.8",
    "0x.8p1",
    "0x.",
    "0x.p1",
    "0xg",
    "0x 1",
    "0x1e",
    "0x1p",
    "0x1p-",
    "0x1.fffffffp127",
    "0x1p-149",
    "0x1p-150",
    "00x1",
    ".0x1",
    "inf",
    "INF",
    "+inf",
    "-inf",
    "infx",
    "infinity",
    "INFINITY",
    "infinit",
    "in",
    "i",
    "Inf",
    "nan",
    "NaN",
    "nanx",
    "nan(123)",
    "nan(0x7f)",
    "nan(abc_9)",
    "nan()",
    "nan(",
    "nan(1 2)",
    "-nan",
    "+nan",
    "n",
    "N",
    "3.4028235e38",
    "3.4028236e38",
    "3.40282356779733661637539395458142568448e38",
    "3.40282356779733661637539395458142568447e38",
    "1e39",
    "-1e39",
    "1.1754944e-38",
    "1e-39",
    "1e-46",
    "1.4e-45",
    "7e-46",
    "7.1e-46",
    "-1e-50",
    "0.1",
    "16777217",
    "-0",
    "1,5",
    "x1",
    "",
    "   ",
    "\n",
    "1e99999999999999999999",
    "1e-99999999999999999999",
    "0e99999999999999999999",
    "0.0000000000000000000000000000000000000001",
    "123456789012345678901234567890",
    "-.0",
    "0.",
    "1\n",
    "1\r\n",
    "e5",
    "E",
    ("\x80"
     "1"),
    "1\x80",
    "٣",
    // Where the double nearest the text is a float's half-way point, the
    // double's rounding to a float would be a second rounding: 2^30 + 64
    // lies half-way between 2^30 and 2^30 + 128.
    "1073741888",
    "1073741888.0000001",
    "1073741887.9999999",
    "-1073741888.00000001",
    "1073741952",
    "1.073741888e9",
    "10737418880000001e-7",
    "0.50000002980232238769531250",
    "0.5000000298023224",
    "0.5000000298023223",
    // The fast form's bounds: 19 digits and 20, 2^53 and one more, powers
    // of ten 1e22 and 1e23, leading zeros that count as digits.
    "1234567890123456789",
    "12345678901234567890",
    "9007199254740992",
    "9007199254740993",
    "1e22",
    "1e23",
    "1e-22",
    "1e-23",
    "9007199254740993e-22",
    "0000000000000000001",
    "00000000000000000001",
    // 20 digits wrap a 64-bit integer: 2^64 is 0 modulo 2^64, 2^64 + 1 is 1.
    "18446744073709551616",
    "18446744073709551617",
    "1844674407370955161.7",
    "-0.18446744073709551617e1",
    "-0.0",
    "+0e5",
    "0e99999999999999999999",
    "000000000000000000000000",
};

TEST(BumpScan, TrickyFormsMatchSscanf) {
  for (const char* text : tricky) EXPECT_TRUE(same_as_sscanf(text));

  // The long forms: 400 digits overflow, 300 zeros underflow, and 2^-149
  // written out exactly, which converts without a range error.
  std::string digits;
  for (int n = 0; n < 40; ++n) digits += "1234567890";
  EXPECT_TRUE(same_as_sscanf(digits));
  EXPECT_TRUE(same_as_sscanf("0." + std::string(300, '0') + "1"));
  EXPECT_TRUE(same_as_sscanf(
      "0.0000000000000000000000000000000000000000000014012984643248170709237"
      "29583289916131280261941876515771757068283889791082685860601486638188"
      "0629"));
}

TEST(BumpScan, AZeroByteEndsTheText) {
  const char cases[][8] = {"1\0 2",
                           "1\0e5",
                           "1e\0+5",
                           " \0 1",
                           "-\0 1",
                           "0x\0"
                           "1",
                           "in\0f",
                           "1.\0"
                           "5"};
  for (const auto& text : cases) {
    // Passed with the whole buffer as its text: the zero inside ends it.
    EXPECT_TRUE(same_as_sscanf(text, sizeof text - 1));
  }
}

// Tokens of four kinds, the first three after the probe that checked the
// rules: free text over the characters that matter to the conversion,
// decimal numbers with long mantissas and exponents (sometimes with no
// digits) and a trailing character, long digit strings at the edges of the
// float range; and the half-way points between floats, where the fast
// form's double would round a second time.
class token_source {
 public:
  explicit token_source(unsigned seed) : rng_(seed) {}

  std::string next() {
    std::string t;
    if (pick(4) == 0) t += spaces[pick(sizeof spaces - 1)];
    switch (pick(4)) {
      case 0:
        free_text(t);
        break;
      case 1:
        decimal(t);
        break;
      case 2:
        edge(t);
        break;
      default:
        near_half_way(t);
        break;
    }
    return t;
  }

 private:
  // With the characters either side of the digits, which a test of eight
  // at a time could take for digits.
  static constexpr char alphabet[] = "0123456789.eE+-xXpPinfaINFA(),\t\n /:";
  static constexpr char spaces[] = " \t\v\f\r\n";
  static constexpr char trailing[] = "eE+-.x,5 \tpi/:\x7f\xb0\xba";

  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }
  void digits(std::string& t, std::size_t count) {
    for (std::size_t n = 0; n < count; ++n)
      t += static_cast<char>('0' + pick(10));
  }
  void free_text(std::string& t) {
    const std::size_t length = 1 + pick(12);
    for (std::size_t n = 0; n < length; ++n) {
      t += alphabet[pick(sizeof alphabet - 1)];
    }
  }
  void decimal(std::string& t) {
    if (pick(3) == 0) t += pick(2) ? '-' : '+';
    digits(t, pick(12));
    if (pick(2)) {
      t += '.';
      digits(t, pick(12));
    }
    if (pick(2)) {
      t += pick(2) ? 'e' : 'E';
      if (pick(2)) t += pick(2) ? '-' : '+';
      if (pick(5)) t += std::to_string(pick(60));
    }
    if (pick(2)) t += trailing[pick(sizeof trailing - 1)];
  }
  void edge(std::string& t) {
    static const char* const stems[] = {
        "3.40282356779733661637539395458142568",  // half-way to overflow
        "1.17549435082228750796873653722224568",  // smallest normal
        "1.40129846432481707092372958328991613",  // smallest subnormal
        "7.00649232162408535461864791644958065",  // half of it
        "16777216",
        "0.1000000000000000055511151231257827021181583404541015"};
    if (pick(4) == 0) t += '-';
    t += stems[pick(std::size(stems))];
    digits(t, pick(8));
    static const char* const exponents[] = {"e38", "e-38", "e-45", "e-46",
                                            "",    "e+38", "e-39", "e37"};
    t += exponents[pick(std::size(exponents))];
    if (pick(3) == 0) t += trailing[pick(sizeof trailing - 1)];
  }

  // A float's half-way point to its neighbour, written with 15 to 19
  // significant digits, so that the nearest double is often the half-way
  // point itself, and now and then nudged by one in the last digit.
  void near_half_way(std::string& t) {
    const int binary_exponent = static_cast<int>(pick(100)) - 50;
    // A float's significand has 24 bits: m + 0.5 is half-way to m + 1.
    const auto mantissa = static_cast<double>((1u << 23) + pick(1u << 23));
    const double half_way = std::ldexp(mantissa + 0.5, binary_exponent - 23);
    char text[48];
    std::snprintf(text, sizeof text, pick(2) ? "%.*g" : "%.*e",
                  static_cast<int>(14 + pick(5)), half_way);
    t += text;
    if (pick(3) == 0) {
      std::size_t last = t.find_last_of("0123456789", t.find_first_of("eE"));
      if (last != std::string::npos) {
        t[last] = t[last] == '9' ? '8' : static_cast<char>(t[last] + 1);
      }
    }
  }

  std::mt19937_64 rng_;
};

// Three million tokens a run, a quarter of them near half-way points, each
// through both forms; the seeds are fixed so a failure repeats.
TEST(BumpScan, GeneratedTokensMatchSscanf) {
  for (unsigned seed : {1u, 2u, 3u}) {
    token_source source(seed);
    int failures = 0;
    for (int n = 0; n < 1000000 && failures < 10; ++n) {
      const std::string token = source.next();
      const auto result = same_as_sscanf(token);
      if (!result) {
        ++failures;
        ADD_FAILURE() << "seed " << seed << " token " << n << ": "
                      << result.message();
      }
    }
  }
}

// A stream over bytes: a real temporary file, so that reads behave as
// they do on a bump file.
std::FILE* stream_of(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

// A stream that gives its bytes in chunks of the given size and fails with
// EIO once fail_at bytes have been given (never, if beyond the end).
struct failing_source {
  std::string bytes;
  std::size_t position = 0;
  std::size_t fail_at = 0;
  std::size_t chunk = 0;
};

ssize_t failing_read(void* cookie, char* out, std::size_t size) {
  auto& s = *static_cast<failing_source*>(cookie);
  if (s.position >= s.fail_at) {
    errno = EIO;
    return -1;
  }
  std::size_t n = std::min(
      {size, s.chunk, s.fail_at - s.position, s.bytes.size() - s.position});
  std::memcpy(out, s.bytes.data() + s.position, n);
  s.position += n;
  return static_cast<ssize_t>(n);
}

std::FILE* failing_stream(failing_source& source) {
  cookie_io_functions_t io{};
  io.read = failing_read;
  return fopencookie(&source, "r", io);
}

// The pieces fgets gives: their bytes up to what it read, measured with
// ftell since a zero byte may sit inside.
std::vector<std::string> fgets_pieces(std::FILE* file) {
  std::vector<std::string> pieces;
  std::vector<char> line(line_size);
  long before = std::ftell(file);
  while (std::fgets(line.data(), static_cast<int>(line_size), file) !=
         nullptr) {
    const long after = std::ftell(file);
    pieces.emplace_back(line.data(), static_cast<std::size_t>(after - before));
    before = after;
  }
  return pieces;
}

constexpr newline_mask_form mask_forms[] = {
    newline_mask_form::avx2, newline_mask_form::sse2, newline_mask_form::words};

// The readers of pieces: the plain one, a piece a call, and the runs, with
// each newline mask this build and processor have, cut after each newline.
struct piece_source {
  const char* name;
  bool runs;
  newline_mask_form form;
};

std::vector<piece_source> piece_sources() {
  std::vector<piece_source> sources = {
      {"one memchr a piece", false, newline_mask_form::words}};
  const piece_source runs[] = {
      {"runs, AVX2 masks", true, newline_mask_form::avx2},
      {"runs, SSE2 masks", true, newline_mask_form::sse2},
      {"runs, word masks", true, newline_mask_form::words}};
  for (const piece_source& source : runs) {
    if (newline_mask_available(source.form)) sources.push_back(source);
  }
  return sources;
}

std::vector<std::string> reader_pieces(const piece_source& source,
                                       std::FILE* file) {
  std::vector<std::string> pieces;
  std::vector<char> area(line_size);
  piece_reader reader;
  piece_reader_init(reader);
  char* text = nullptr;
  std::size_t length = 0;
  while (source.runs ? next_run_with(source.form, file, area.data(), reader,
                                     text, length)
                     : next_piece(file, area.data(), reader, text, length)) {
    EXPECT_EQ(text[length], '\0');
    EXPECT_GE(text, area.data());
    EXPECT_LE(text + length, area.data() + line_size - 1);
    EXPECT_GT(length, 0u);
    // A run is whole pieces: a newline ends each, and nothing else does.
    std::size_t from = 0;
    for (std::size_t n = 0; n < length; ++n) {
      if (text[n] == '\n' || n + 1 == length) {
        pieces.emplace_back(text + from, n + 1 - from);
        from = n + 1;
      }
    }
    if (!source.runs) {
      EXPECT_EQ(pieces.back().size(), length);
    }
  }
  return pieces;
}

// Bump texts built to cross the piece size and fill many reads: lines of
// every length around 32,767 characters, numbers straddling a cut, runs of
// thousands of short lines, lines of text, zero bytes, carriage returns,
// blank lines, a last line without a newline.
std::string random_text(std::mt19937_64& rng) {
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  static const char* const short_lines[] = {
      "1",   "-2.5",    "abc 1 2 3", " x 4", "\t-7e3", "",     "   ",
      "inf", "0x1p3 9", "nan(1) 2",  "+.5",  "1e",     "5 \r", "z"};
  std::string text;
  const std::size_t lines = pick(6);
  for (std::size_t l = 0; l < lines; ++l) {
    switch (pick(7)) {
      case 0: {  // a line near the piece size, ending in a number
        const std::size_t length = line_size - 8 + pick(16);
        text.append(length - 6, ' ');
        text += "123456";
        break;
      }
      case 1: {  // more than two pieces of numbers
        while (text.size() % (3 * line_size) < 2 * line_size + 100) {
          text += std::to_string(pick(100000));
          text += pick(8) ? ' ' : '\t';
        }
        break;
      }
      case 2:
        text += std::string("1 2\0 3", 6);
        break;
      case 3:
        text += "4.5\r";
        break;
      case 4:  // many short lines, over several reads
        for (std::size_t n = 1 + pick(9000); n > 0; --n) {
          text += short_lines[pick(std::size(short_lines))];
          text += '\n';
        }
        break;
      default:
        for (std::size_t n = pick(5); n > 0; --n) {
          text += std::to_string(static_cast<int>(pick(2000)) - 1000);
          text += '.';
          text += std::to_string(pick(100));
          text += ' ';
        }
        if (pick(4) == 0) text += "x 7";
        break;
    }
    if (l + 1 < lines || pick(2)) text += '\n';
  }
  return text;
}

TEST(BumpPieces, CutAsFgetsCuts) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 60; ++round) {
    const std::string text = random_text(rng);
    std::FILE* b = stream_of(text);
    ASSERT_NE(b, nullptr);
    const auto expected = fgets_pieces(b);
    std::fclose(b);
    for (const piece_source& source : piece_sources()) {
      SCOPED_TRACE("round " + std::to_string(round) + ", " + source.name);
      std::FILE* a = stream_of(text);
      ASSERT_NE(a, nullptr);
      EXPECT_EQ(reader_pieces(source, a), expected);
      EXPECT_FALSE(std::ferror(a));
      std::fclose(a);
    }
  }
}

TEST(BumpPieces, ExactPieceSizes) {
  for (std::size_t length : {line_size - 2, line_size - 1, line_size,
                             line_size + 1, 2 * line_size - 2, 2 * line_size}) {
    for (bool newline : {false, true}) {
      std::string text(length, '7');
      if (newline) text += '\n';
      text += "8\n";
      std::FILE* b = stream_of(text);
      const auto expected = fgets_pieces(b);
      std::fclose(b);
      for (const piece_source& source : piece_sources()) {
        SCOPED_TRACE(std::to_string(length) +
                     (newline ? " + newline, " : ", ") + source.name);
        std::FILE* a = stream_of(text);
        EXPECT_EQ(reader_pieces(source, a), expected);
        std::fclose(a);
      }
    }
  }
}

// The pieces fgets gives on a stream that cannot tell its position: the
// text holds no zero byte, so each piece is as long as its string.
std::vector<std::string> fgets_strings(std::FILE* file) {
  std::vector<std::string> pieces;
  std::vector<char> line(line_size);
  while (std::fgets(line.data(), static_cast<int>(line_size), file) !=
         nullptr) {
    pieces.emplace_back(line.data());
  }
  return pieces;
}

// A read that fails part-way, in chunks of any size: the pieces before the
// failure are given, the one it cut short is not, as with fgets.
TEST(BumpPieces, ReadErrorsCutAsFgetsCuts) {
  std::mt19937_64 rng(17);
  for (int round = 0; round < 60; ++round) {
    failing_source plain;
    plain.bytes = random_text(rng);
    for (char& c : plain.bytes) {
      if (c == 0) c = 'z';
    }
    plain.fail_at = rng() % (plain.bytes.size() + 2);
    plain.chunk = 1 + rng() % 70000;
    failing_source copy = plain;
    std::FILE* b = failing_stream(copy);
    const auto expected = fgets_strings(b);
    EXPECT_EQ(std::ferror(b) != 0, plain.fail_at <= plain.bytes.size());
    std::fclose(b);
    for (const piece_source& source : piece_sources()) {
      SCOPED_TRACE("round " + std::to_string(round) + ", " + source.name +
                   ", fail at " + std::to_string(plain.fail_at) + " of " +
                   std::to_string(plain.bytes.size()));
      failing_source mine = plain;
      std::FILE* a = failing_stream(mine);
      EXPECT_EQ(reader_pieces(source, a), expected);
      EXPECT_EQ(std::ferror(a) != 0, plain.fail_at <= plain.bytes.size());
      std::fclose(a);
    }
  }
}

// Every form of the mask against the bytes themselves, on blocks of the
// bytes a word test could confuse with a newline: its neighbours, the
// same byte with the high bit set, zeros, and newlines side by side.
TEST(BumpPieces, NewlineMasksAgree) {
  std::mt19937_64 rng(19);
  const char near[] = {'\n', '\n',       0x0b, 0x09, 0x0a | 0x40, char(0x8a),
                       0x00, char(0xff), 0x0e, 0x02, '1',         0x7f};
  for (int round = 0; round < 20000; ++round) {
    char block[64];
    for (char& c : block) c = near[rng() % sizeof near];
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i < 64; ++i) {
      if (block[i] == '\n') expected |= std::uint64_t{1} << i;
    }
    for (const auto form :
         {newline_mask_form::sse2, newline_mask_form::words}) {
      if (!newline_mask_available(form)) continue;
      ASSERT_EQ(newline_mask(form, block), expected) << "round " << round;
    }
  }
  EXPECT_TRUE(newline_mask_available(newline_mask_used()));
}

// Skipping the rest of a piece and the pieces a filter passes over, from
// every position of real runs, with the masks and with memchr.
TEST(BumpPieces, SkipPiecesAsThePlainForm) {
  piece_filter letters{};
  for (int c = 'a'; c <= 'z'; ++c) letters.pass_over[c] = true;
  piece_filter blank_lines{};
  blank_lines.pass_over[static_cast<unsigned char>('\n')] = true;
  blank_lines.pass_over[static_cast<unsigned char>(' ')] = true;
  const piece_filter filters[] = {piece_filter{}, letters, blank_lines};
  std::mt19937_64 rng(23);
  for (int round = 0; round < 20; ++round) {
    const std::string text = random_text(rng);
    std::FILE* file = stream_of(text);
    std::vector<char> area(line_size);
    piece_reader reader;
    piece_reader_init(reader);
    char* run = nullptr;
    std::size_t length = 0;
    while (next_run(file, area.data(), reader, run, length)) {
      const char* end = run + length;
      for (std::size_t at = 0; at < length; at += 1 + rng() % 7) {
        for (const piece_filter& filter : filters) {
          const char* plain = skip_pieces_plain(run + at, end, filter);
          for (const auto form : mask_forms) {
            if (!newline_mask_available(form)) continue;
            ASSERT_EQ(
                skip_pieces_with(form, area.data(), run + at, end, filter),
                plain)
                << "round " << round << " at " << at;
          }
          ASSERT_EQ(skip_pieces(area.data(), run + at, end, filter), plain);
        }
      }
    }
    std::fclose(file);
  }
}

// The stream's own error flag is not compared: after one too many values
// the fast reader may already have read ahead into a failing block, which
// no one sees, since the outcome and the message are decided by then.
struct parse_result {
  bump_outcome outcome;
  std::vector<std::uint8_t> table;
};

template <typename Parse>
parse_result parse_with(Parse parse, std::FILE* file, std::uint32_t count) {
  std::vector<std::uint8_t> table(value_table_size, 0xAB);
  std::vector<std::uint8_t> area(line_size);
  const bump_outcome outcome = parse(file, count, table.data(), area.data());
  return {outcome, table};
}

void expect_same(const parse_result& fast, const parse_result& plain) {
  EXPECT_EQ(fast.outcome, plain.outcome);
  EXPECT_TRUE(fast.table == plain.table) << "the value tables differ";
}

std::uint32_t values_in(const std::string& text) {
  std::FILE* file = stream_of(text);
  const parse_result r = parse_with(reference_parse_bump_stream, file,
                                    static_cast<std::uint32_t>(value_capacity));
  std::fclose(file);
  std::uint32_t n = 0;
  while (n < value_capacity &&
         load32_le(r.table.data() + 4 * n) != 0xABABABABu) {
    ++n;
  }
  return n;
}

// The tool's parse and the plain loop's on the same text.
void expect_same_as_plain_loop(const std::string& text, std::uint32_t count) {
  std::FILE* a = stream_of(text);
  std::FILE* b = stream_of(text);
  expect_same(parse_with(parse_bump_stream, a, count),
              parse_with(reference_parse_bump_stream, b, count));
  std::fclose(a);
  std::fclose(b);
}

// Whole streams, with entry_count at the number of values, one below it
// (one too many) and above it (too few).
TEST(BumpStream, SameOutcomeAndValuesAsThePlainLoop) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 60; ++round) {
    const std::string text = random_text(rng);
    // No run has more than value_capacity entries.
    const std::uint32_t n = values_in(text);
    const auto cap = static_cast<std::uint32_t>(value_capacity);
    for (std::uint32_t count : {n, n == 0 ? 0 : n - 1, std::min(n + 1, cap)}) {
      SCOPED_TRACE("round " + std::to_string(round) + " entry_count " +
                   std::to_string(count));
      expect_same_as_plain_loop(text, count);
    }
  }
}

// Lines of generated tokens, so that every odd form also meets its
// neighbours: what one conversion leaves is where the next one starts.
TEST(BumpStream, GeneratedLinesMatchThePlainLoop) {
  token_source source(5);
  std::mt19937_64 rng(5);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (int n = 0; n < 400; ++n) {
      text += source.next();
      if (rng() % 3 == 0) text += rng() % 4 ? ' ' : '\n';
    }
    const std::uint32_t count = static_cast<std::uint32_t>(value_capacity);
    SCOPED_TRACE("round " + std::to_string(round));
    expect_same_as_plain_loop(text, count);
  }
}

// A read that fails part-way: the pieces before the failure are parsed,
// the piece it cut short is not, and the outcome is the read error, as
// with fgets, unless one too many values came first.
TEST(BumpStream, ReadErrorsMatchThePlainLoop) {
  std::mt19937_64 rng(13);
  for (int round = 0; round < 80; ++round) {
    failing_source a;
    a.bytes = random_text(rng);
    a.fail_at = rng() % (a.bytes.size() + 2);
    a.chunk = 1 + rng() % 70000;
    failing_source b = a;
    const std::uint32_t n = values_in(a.bytes);
    const std::uint32_t count = rng() % 2 ? n : n / 2;
    SCOPED_TRACE("round " + std::to_string(round) + " fail at " +
                 std::to_string(a.fail_at) + " of " +
                 std::to_string(a.bytes.size()));
    std::FILE* fa = failing_stream(a);
    std::FILE* fb = failing_stream(b);
    expect_same(parse_with(parse_bump_stream, fa, count),
                parse_with(reference_parse_bump_stream, fb, count));
    std::fclose(fa);
    std::fclose(fb);
  }
}

// Lines that begin with each byte there is, each after a line whose
// conversion fails, where the next line's first character decides whether
// it is passed over: it must be passed over exactly where the plain loop
// converts nothing on it.
TEST(BumpStream, EveryFirstCharacterAsThePlainLoop) {
  std::string text;
  for (int c = 0; c < 256; ++c) {
    for (const char* rest : {"1 2", "nf 3", "aN 4", "x1p3 5", "", "\n6"}) {
      text += "x\n";
      text += static_cast<char>(c);
      text += rest;
      text += '\n';
    }
  }
  expect_same_as_plain_loop(text, static_cast<std::uint32_t>(value_capacity));
  expect_same_as_plain_loop(text, values_in(text));
}

TEST(BumpStream, ADirectoryIsAReadError) {
  std::FILE* a = std::fopen("/", "r");
  std::FILE* b = std::fopen("/", "r");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  const parse_result fast = parse_with(parse_bump_stream, a, 0);
  EXPECT_EQ(fast.outcome, bump_outcome::read_error);
  expect_same(fast, parse_with(reference_parse_bump_stream, b, 0));
  std::fclose(a);
  std::fclose(b);
}

}  // namespace
