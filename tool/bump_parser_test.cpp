#include "bump_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "crypto/bytes.h"
#include "storage.h"
#include "temp_dir.h"

namespace {

constexpr std::uint8_t canary = 0xCC;

class BumpParser : public temp_dir_test {
 protected:
  bool parse(const std::string& text, std::uint32_t entry_count) {
    file_ = write_text("b.txt", text);
    return parse_file(file_, entry_count);
  }

  bool parse_file(const std::string& file, std::uint32_t entry_count) {
    std::memset(table_, canary, sizeof table_);
    testing::internal::CaptureStdout();
    const bool ok = read_bump_values(file.c_str(), entry_count, table_, line_);
    out_ = testing::internal::GetCapturedStdout();
    return ok;
  }

  std::vector<std::uint32_t> bits(std::uint32_t count) const {
    std::vector<std::uint32_t> b;
    for (std::uint32_t n = 0; n < count; ++n)
      b.push_back(load32_le(table_ + 4 * n));
    return b;
  }

  // Nothing beyond the stored values was written.
  bool tail_untouched(std::uint32_t count) const {
    for (std::size_t n = 4 * count; n < sizeof table_; ++n) {
      if (table_[n] != canary) return false;
    }
    return true;
  }

  std::uint8_t table_[value_table_size];
  std::uint8_t line_[line_size];
  std::string file_;
  std::string out_;
};

std::vector<std::uint32_t> bits_of(std::initializer_list<float> values) {
  std::vector<std::uint32_t> b;
  for (float v : values) b.push_back(std::bit_cast<std::uint32_t>(v));
  return b;
}

constexpr float inf = std::numeric_limits<float>::infinity();

struct accepted_case {
  const char* label;
  std::string text;
  std::vector<std::uint32_t> values;
};

// Files that hold exactly as many numbers as asked for.
TEST_F(BumpParser, AcceptedFiles) {
  const accepted_case cases[] = {
      {"two lines", "1 2\n3\n", bits_of({1, 2, 3})},
      {"text skips the rest of its line", "1 2 x 3\n4\n", bits_of({1, 2, 4})},
      {"text first", "x 1\n", {}},
      {"empty file", "", {}},
      {"only text lines", "abc\n# 1 2 3\n", {}},
      {"a number ends where it cannot go on", "1-2 1.5.5\n",
       bits_of({1, -2, 1.5f, 0.5f})},
      {"comma stops the line", "1,5 7\n8\n", bits_of({1, 8})},
      {"point forms", ".5 5. -.5 +5\n", bits_of({0.5f, 5, -0.5f, 5})},
      {"lone point and sign", ". 1\n- 2\n+\n3\n", bits_of({3})},
      {"white space of every kind", " \t1\v\f2 \r\n\n\n  3  \r\n",
       bits_of({1, 2, 3})},
      {"no final newline", "1\n2", bits_of({1, 2})},
      {"exponents", "1e5 1E-3 -2.5e+2\n", bits_of({1e5f, 1e-3f, -250})},
      {"e without digits is eaten", "1e 5\n1e+x 7\n", bits_of({1, 5, 1})},
      {"hex, inf and nan", "0x1p3 -inf infinity\n", bits_of({8, -inf, inf})},
      {"nan is always the quiet one", "nan -NaN\n", {0x7fc00000u, 0xffc00000u}},
      {"out of range",
       "1e39 -1e39 1e-46 -1e-50 1e-39\n",
       {0x7f800000u, 0xff800000u, 0x00000000u, 0x80000000u, 0x000ae398u}},
      {"rounding",
       "0.1 16777217 -0\n",
       {0x3dcccccdu, 0x4b800000u, 0x80000000u}},
      {"zero byte ends the line", std::string("1 2\0 3\n4\n", 9),
       bits_of({1, 2, 4})},
  };
  for (const accepted_case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto count = static_cast<std::uint32_t>(c.values.size());
    ASSERT_TRUE(parse(c.text, count)) << out_;
    EXPECT_EQ(out_, "");
    EXPECT_EQ(bits(count), c.values);
    EXPECT_TRUE(tail_untouched(count));
  }
}

// A line longer than the buffer is parsed in pieces of 32,767 characters, so
// a number across a piece boundary is read as two.
TEST_F(BumpParser, LongLineIsParsedInPieces) {
  const std::size_t piece = line_size - 1;
  const std::string straddling = std::string(piece - 1, ' ') + "12\n";
  ASSERT_TRUE(parse(straddling, 2)) << out_;
  EXPECT_EQ(bits(2), bits_of({1, 2}));

  // Text at the end of one piece skips only the rest of that piece.
  const std::string text_then_number = std::string(piece - 1, ' ') + "x 3\n4\n";
  ASSERT_TRUE(parse(text_then_number, 2)) << out_;
  EXPECT_EQ(bits(2), bits_of({3, 4}));

  // A long line of numbers loses none of them.
  std::string many;
  for (int n = 0; n < 4098; ++n) many += std::to_string(n % 10) + "       ";
  ASSERT_GT(many.size(), piece);
  ASSERT_TRUE(parse(many + "\n", 4098)) << out_;
}

TEST_F(BumpParser, WrongCount) {
  struct wrong_case {
    const char* text;
    std::uint32_t entry_count;
  };
  const wrong_case cases[] = {
      {"1 2 3\n", 2}, {"1\n", 2}, {"1\n", 0}, {"", 1}, {"x 1 2\n", 1},
  };
  for (const wrong_case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_FALSE(parse(c.text, c.entry_count));
    EXPECT_EQ(out_, "Incorrect number of entries in " + file_ + "\n");
  }
}

// One number too many stops the parse at once: nothing is stored past the
// table and the rest of the file is not examined.
TEST_F(BumpParser, TooManyAtCapacityStoresNothingBeyond) {
  std::string text;
  for (std::size_t n = 0; n <= value_capacity; ++n) text += "1\n";
  EXPECT_FALSE(parse(text, static_cast<std::uint32_t>(value_capacity)));
  EXPECT_EQ(out_, "Incorrect number of entries in " + file_ + "\n");
  EXPECT_TRUE(tail_untouched(static_cast<std::uint32_t>(value_capacity)));
}

TEST_F(BumpParser, OpenAndReadFailures) {
  const std::string missing = path("missing.txt");
  EXPECT_FALSE(parse_file(missing, 0));
  EXPECT_EQ(out_, "Couldn't open " + missing + "\n");

  // A directory opens but cannot be read: that is not an empty file.
  EXPECT_FALSE(parse_file(dir_.string(), 0));
  EXPECT_EQ(out_, "Couldn't read " + dir_.string() + "\n");
}

}  // namespace
