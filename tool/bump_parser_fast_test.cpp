// The bump parser's fast paths held against the plain loop they replace:
// each conversion against sscanf(" %f%n") itself, each piece against fgets,
// and whole streams, read errors included, against the reference loop in
// tests/support/bump_reference. Any divergence in a value's bits, a count
// of consumed characters, a piece or an outcome fails here.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bump_reference.h"
#include "crypto/bytes.h"
#include "tool/bump_parser.h"
#include "tool/storage.h"

namespace {

// Compares scan_float with sscanf on text[0, size), which the caller has
// zero-terminated at text[size]. Returns false on a difference.
::testing::AssertionResult same_as_sscanf(const char* text, std::size_t size) {
  const scanned_float fast = scan_float(text, text + size);
  const reference_scan plain = reference_scan_float(text);
  const auto bits = [](float v) { return std::bit_cast<std::uint32_t>(v); };
  if (fast.converted == plain.converted &&
      (!fast.converted ||
       (bits(fast.value) == bits(plain.value) &&
        fast.consumed == static_cast<std::size_t>(plain.consumed)))) {
    return ::testing::AssertionSuccess();
  }
  char shown[64];
  std::snprintf(shown, sizeof shown, "%08x/%zu vs %08x/%d", bits(fast.value),
                fast.consumed, bits(plain.value), plain.consumed);
  return ::testing::AssertionFailure()
         << "text \"" << std::string(text, size) << "\": fast "
         << (fast.converted ? "converts" : "fails") << ", sscanf "
         << (plain.converted ? "converts" : "fails") << " (" << shown << ")";
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

// Tokens of three kinds, after the probe that checked the rules: free text
// over the characters that matter to the conversion, decimal numbers with
// long mantissas and exponents (sometimes with no digits) and a trailing
// character, and long digit strings at the edges of the float range.
class token_source {
 public:
  explicit token_source(unsigned seed) : rng_(seed) {}

  std::string next() {
    std::string t;
    if (pick(4) == 0) t += spaces[pick(sizeof spaces - 1)];
    switch (pick(3)) {
      case 0:
        free_text(t);
        break;
      case 1:
        decimal(t);
        break;
      default:
        edge(t);
        break;
    }
    return t;
  }

 private:
  static constexpr char alphabet[] = "0123456789.eE+-xXpPinfaINFA(),\t\n ";
  static constexpr char spaces[] = " \t\v\f\r\n";
  static constexpr char trailing[] = "eE+-.x,5 \tpi";

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

  std::mt19937_64 rng_;
};

// Three million tokens a run, about a third of them decided by sscanf; the
// seeds are fixed so a failure repeats.
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

std::vector<std::string> reader_pieces(std::FILE* file) {
  std::vector<std::string> pieces;
  std::vector<char> area(line_size);
  piece_reader reader;
  piece_reader_init(reader);
  char* piece = nullptr;
  std::size_t length = 0;
  while (next_piece(file, area.data(), reader, piece, length)) {
    EXPECT_EQ(piece[length], '\0');
    EXPECT_GE(piece, area.data());
    EXPECT_LE(piece + length, area.data() + line_size - 1);
    pieces.emplace_back(piece, length);
  }
  return pieces;
}

// Bump texts built to cross the piece size: lines of every length around
// 32,767 characters, numbers straddling a cut, zero bytes, carriage
// returns, a last line without a newline.
std::string random_text(std::mt19937_64& rng) {
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  std::string text;
  const std::size_t lines = pick(6);
  for (std::size_t l = 0; l < lines; ++l) {
    switch (pick(6)) {
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
    SCOPED_TRACE("round " + std::to_string(round));
    std::FILE* a = stream_of(text);
    std::FILE* b = stream_of(text);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reader_pieces(a), fgets_pieces(b));
    EXPECT_FALSE(std::ferror(a));
    std::fclose(a);
    std::fclose(b);
  }
}

TEST(BumpPieces, ExactPieceSizes) {
  for (std::size_t length : {line_size - 2, line_size - 1, line_size,
                             line_size + 1, 2 * line_size - 2, 2 * line_size}) {
    for (bool newline : {false, true}) {
      SCOPED_TRACE(std::to_string(length) + (newline ? " + newline" : ""));
      std::string text(length, '7');
      if (newline) text += '\n';
      text += "8\n";
      std::FILE* a = stream_of(text);
      std::FILE* b = stream_of(text);
      EXPECT_EQ(reader_pieces(a), fgets_pieces(b));
      std::fclose(a);
      std::fclose(b);
    }
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
