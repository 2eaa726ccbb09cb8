// tessera-open run as a process beside Tessera: what it prints, its exit
// status, and that what it prints seals back to the very same qel file.
//
// Fixtures are made test-side: gtk files by the test gtk writer under the
// configured record_key, qel files by the OpenSSL model under the configured
// key_prefix.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gtk_failures.h"
#include "gtk_writer.h"
#include "oracle.h"
#include "process.h"
#include "temp_dir.h"
#include "tessera_keys.h"

namespace {

constexpr std::size_t most_entries = 4098;
constexpr std::size_t qel_header_bytes = 32;  // entry and value digests
constexpr std::size_t largest_qel = qel_header_bytes + 4 * most_entries;

// TESSERA_OPEN_BINARY from the environment if set (an installed or cross-
// built copy), else the one this build made.
std::string open_binary() {
  return binary_from_env("TESSERA_OPEN_BINARY", TESSERA_OPEN_PATH);
}

process_result open_tool(const std::vector<std::string>& args,
                         const process_options& options = {}) {
  return run_program(open_binary(), args, options);
}

std::uint32_t bits_of(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

// The values every table that has room for them starts with: the ones whose
// printed form is most likely to come back with other bits.
std::vector<float> special_values() {
  using limits = std::numeric_limits<float>;
  return {
      0.0f,
      -0.0f,
      limits::infinity(),
      -limits::infinity(),
      limits::denorm_min(),
      -limits::denorm_min(),
      std::bit_cast<float>(std::uint32_t{0x007FFFFF}),  // largest subnormal
      std::bit_cast<float>(std::uint32_t{0x80400001}),
      limits::min(),
      limits::max(),
      -limits::max(),
      std::nextafter(1.0f, 2.0f),
      0.1f,
      16777216.0f,
      -3.0f,
  };
}

// Any bit pattern but a NaN: a NaN has no text that reads back to its bits.
float random_value(std::mt19937& rng) {
  for (;;) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    if (!std::isnan(value)) return value;
  }
}

std::vector<gtk_entry> random_entries(std::mt19937& rng, std::size_t count) {
  std::vector<gtk_entry> entries(count);
  for (gtk_entry& entry : entries) {
    const std::uint32_t pick = rng() % 4;
    entry.kind = pick < 3 ? pick : static_cast<std::uint32_t>(rng());
    entry.key = static_cast<std::uint32_t>(rng());
  }
  return entries;
}

std::vector<float> table_values(std::mt19937& rng, std::size_t count) {
  std::vector<float> values = special_values();
  values.resize(std::min(values.size(), count));
  while (values.size() < count) values.push_back(random_value(rng));
  std::shuffle(values.begin(), values.end(), rng);
  return values;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class open_test : public temp_dir_test {};

// For every run that succeeds:
//   tessera-open g q > b2 && Tessera g b2 q2 && cmp q q2
TEST_F(open_test, PrintedValuesSealBackToTheSameFile) {
  std::mt19937 rng(20261211);
  std::vector<std::size_t> counts = {0, 1, 2, 15, 16, 100, most_entries};
  for (int n = 0; n < 12; ++n) counts.push_back(rng() % (most_entries + 1));

  for (const std::size_t count : counts) {
    SCOPED_TRACE(std::to_string(count) + " entries");
    const std::vector<gtk_entry> entries = random_entries(rng, count);
    gtk_layout layout;
    layout.gap = rng() % 200;
    layout.filler = static_cast<std::uint8_t>(rng());
    const std::vector<float> values = table_values(rng, count);
    const bytes qel = model_qel(entry_keys(entries), values);

    const std::string gtk = write_file("table.gtk", make_gtk(entries, layout));
    const std::string q = write_file("sealed.qel", qel);
    const process_result opened = open_tool({gtk, q});
    ASSERT_EQ(opened.status, 0) << opened.out;
    EXPECT_EQ(opened.err, "");

    // One line per value, in order, each reading back to the value's bits.
    const std::vector<std::string> lines = lines_of(opened.out);
    ASSERT_EQ(lines.size(), count);
    EXPECT_TRUE(count == 0 || opened.out.back() == '\n');
    for (std::size_t k = 0; k < count; ++k) {
      SCOPED_TRACE("line " + std::to_string(k + 1) + ": " + lines[k]);
      EXPECT_EQ(bits_of(std::strtof(lines[k].c_str(), nullptr)),
                bits_of(values[k]));
    }

    const std::string b2 = write_text("opened.bump", opened.out);
    const std::string q2 = path("resealed.qel");
    const process_result resealed = run_tool({gtk, b2, q2});
    ASSERT_EQ(resealed.status, 0) << resealed.out;
    EXPECT_EQ(resealed.out, "");
    EXPECT_EQ(resealed.err, "");
    EXPECT_EQ(read_file(q2), qel);
  }
}

// The qel file of the values under another key_prefix: the first prefix byte
// of the configured one changed, everything else as Tessera does it.
bytes seal_under_other_prefix(const std::vector<std::uint32_t>& keys,
                              const std::vector<float>& values) {
  bytes sealing_key(key_prefix, key_prefix + sizeof key_prefix);
  sealing_key[0] ^= 0x01;
  const bytes entry_digest = openssl_md5(words_le(keys));
  sealing_key.insert(sealing_key.end(), entry_digest.begin(),
                     entry_digest.end());
  bytes payload = entry_digest;
  const bytes value_bytes = floats_le(values);
  const bytes value_digest = openssl_md5(value_bytes);
  payload.insert(payload.end(), value_digest.begin(), value_digest.end());
  payload.insert(payload.end(), value_bytes.begin(), value_bytes.end());
  return openssl_rc4(sealing_key.data(), payload);
}

// A table of five entries, one qel file made from it and then spoilt.
class refusal_test : public open_test {
 protected:
  void SetUp() override {
    open_test::SetUp();
    entries_ = {{0, 0x11111111},
                {1, 0x22222222},
                {2, 0x33333333},
                {1, 0x44444444},
                {7, 0x55555555}};
    values_ = {1.5f, -0.0f, 3.25e-40f, -2.0e30f, 7.0f};
    gtk_ = write_file("table.gtk", make_gtk(entries_));
    qel_ = model_qel(entry_keys(entries_), values_);
  }

  void expect_refusal(const std::string& qel_path, const std::string& message) {
    const process_result result = open_tool({gtk_, qel_path});
    EXPECT_EQ(result.out, message);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
  }

  std::vector<gtk_entry> entries_;
  std::vector<float> values_;
  std::string gtk_;
  bytes qel_;
};

struct spoilt_case {
  const char* label;
  std::function<void(bytes&)> spoil;
  const char* message;  // the format, with the qel path for %s
};

constexpr char size_message[] = "Incorrect size of %s\n";
constexpr char table_message[] = "Sealed for another table or key: %s\n";
constexpr char damage_message[] = "Values don't match their digest in %s\n";

TEST_F(refusal_test, SpoiltFilesAreRefusedWithOneLine) {
  const auto flip = [](std::size_t at) {
    return [at](bytes& q) { q.at(at) ^= 0x20; };
  };
  const auto resize = [](std::ptrdiff_t by) {
    return [by](bytes& q) {
      q.resize(
          static_cast<std::size_t>(static_cast<std::ptrdiff_t>(q.size()) + by),
          0x5C);
    };
  };
  const spoilt_case cases[] = {
      {"entry digest, first byte", flip(0), table_message},
      {"entry digest, last byte", flip(15), table_message},
      {"value digest, first byte", flip(16), damage_message},
      {"value digest, last byte", flip(31), damage_message},
      {"first value", flip(32), damage_message},
      {"last value", flip(32 + 4 * 5 - 1), damage_message},
      {"one byte short", resize(-1), size_message},
      {"one value short", resize(-4), size_message},
      {"only the digests", [](bytes& q) { q.resize(qel_header_bytes); },
       size_message},
      {"empty", [](bytes& q) { q.clear(); }, size_message},
      {"one byte over", resize(1), size_message},
      {"one value over", resize(4), size_message},
      {"the largest size of any qel file",
       [](bytes& q) { q.resize(largest_qel, 0); }, size_message},
      {"over the largest size", [](bytes& q) { q.resize(largest_qel + 1, 0); },
       size_message},
      {"a megabyte", [](bytes& q) { q.resize(1 << 20, 0); }, size_message},
      // The size is judged before the digests, the table before the values.
      {"short and sealed elsewhere",
       [](bytes& q) {
         q[0] ^= 1;
         q.pop_back();
       },
       size_message},
      {"entry digest and a value",
       [](bytes& q) {
         q[3] ^= 1;
         q[40] ^= 1;
       },
       table_message},
  };
  for (const spoilt_case& c : cases) {
    SCOPED_TRACE(c.label);
    bytes spoilt = qel_;
    c.spoil(spoilt);
    const std::string q = write_file("spoilt.qel", spoilt);
    expect_refusal(q, with_path(c.message, q));
  }
}

TEST_F(refusal_test, FilesSealedForAnotherTableAreRefused) {
  const std::vector<std::uint32_t> keys = entry_keys(entries_);
  std::vector<std::uint32_t> one_key_changed = keys;
  one_key_changed[2] ^= 0x00010000;
  std::vector<std::uint32_t> reordered = keys;
  std::swap(reordered[0], reordered[4]);
  // With one entry more the size already tells.
  std::vector<std::uint32_t> longer = keys;
  longer.push_back(0x66666666);
  std::vector<float> longer_values = values_;
  longer_values.push_back(8.0f);

  struct sealed_case {
    const char* label;
    bytes qel;
    const char* message;
  };
  const sealed_case cases[] = {
      {"one entry key changed", model_qel(one_key_changed, values_),
       table_message},
      {"the same keys in another order", model_qel(reordered, values_),
       table_message},
      {"another key_prefix", seal_under_other_prefix(keys, values_),
       table_message},
      {"a table of one entry more", model_qel(longer, longer_values),
       size_message},
  };
  for (const sealed_case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string q = write_file("other.qel", c.qel);
    expect_refusal(q, with_path(c.message, q));
  }
}

// An endless file is judged after one byte more than the table allows.
TEST_F(refusal_test, AnEndlessFileIsNotReadWhole) {
  expect_refusal("/dev/zero", "Incorrect size of /dev/zero\n");
}

TEST_F(refusal_test, QelFilesThatCannotBeOpenedOrRead) {
  expect_refusal(path("missing.qel"),
                 "Couldn't open " + path("missing.qel") + "\n");
  expect_refusal(dir_.string(), "Couldn't read " + dir_.string() + "\n");
  // The path is data, never a format.
  const std::string odd = path("100%s%n%d.qel");
  expect_refusal(odd, "Couldn't open " + odd + "\n");
}

TEST_F(refusal_test, WrongArgumentCountsPrintTheUsage) {
  const std::string q = write_file("sealed.qel", qel_);
  const std::vector<std::vector<std::string>> argument_lists = {
      {}, {gtk_}, {gtk_, q, q}, {gtk_, q, q, q}};
  for (const auto& args : argument_lists) {
    SCOPED_TRACE(std::to_string(args.size()) + " arguments");
    const process_result result = open_tool(args);
    EXPECT_EQ(result.out, "Usage: tessera-open gtk_file qel_file\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
  }
}

// A gtk file that Tessera refuses, tessera-open refuses in the same words,
// before it opens the qel file.
TEST_F(refusal_test, GtkFailuresReadAsTesserasOwn) {
  const std::string q = write_file("sealed.qel", qel_);
  const std::string bump = write_text("values.bump", "1 2 3 4 5\n");
  for (const gtk_failure& c : write_gtk_failures(dir_, entries_)) {
    SCOPED_TRACE(c.label);
    const std::string message = with_path(c.message, c.path);

    const process_result opened = open_tool({c.path, q});
    EXPECT_EQ(opened.out, message);
    EXPECT_EQ(opened.status, 1);
    EXPECT_EQ(opened.err, "");

    const std::string q2 = path("never.qel");
    const process_result sealed = run_tool({c.path, bump, q2});
    EXPECT_EQ(sealed.out, message);
    EXPECT_EQ(sealed.status, 1);
    EXPECT_FALSE(exists(q2));
  }
}

// Values that cannot be written fail the run; there is nowhere to say so,
// since messages go to standard output as well. Run through the shell for
// the redirection, so TESSERA_WRAPPER does not apply here.
TEST_F(refusal_test, AFullStandardOutputFailsTheRun) {
  const std::string q = write_file("sealed.qel", qel_);
  std::string command;
  for (const std::string& word : {open_binary(), gtk_, q}) {
    command += '\'';
    command += word;
    command += "' ";
  }
  command += "> /dev/full";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

// A write that the system refuses raises a signal whose default action
// would end tessera-open outside its statuses: SIGXFSZ (153) past the file
// size limit, SIGPIPE (141) into a pipe whose reader has gone, as in
// `tessera-open g q | head -c0`. Both are ignored, so values that did not
// reach standard output fail the run with status 1: with standard output
// gone, the status is all that can still tell.
class refused_output_test : public open_test {
 protected:
  void SetUp() override {
    open_test::SetUp();
    std::mt19937 rng(20261212);
    const std::vector<gtk_entry> entries = random_entries(rng, most_entries);
    gtk_ = write_file("table.gtk", make_gtk(entries));
    qel_ = write_file("sealed.qel", model_qel(entry_keys(entries),
                                              table_values(rng, most_entries)));
    const process_result whole = open_tool({gtk_, qel_});
    ASSERT_EQ(whole.status, 0) << whole.out;
    printed_ = whole.out;
  }

  std::string gtk_;
  std::string qel_;
  std::string printed_;  // all the values, as a run that succeeds prints them
};

// What reached the file before the limit stays: the first bytes of the text.
TEST_F(refused_output_test, FileSizeLimitFailsTheRun) {
  for (const std::uint64_t limit : {0u, 4096u, 10000u}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    if (wrapped() && limit < wrapper_file_room) {
      std::printf("limit %llu not tried under TESSERA_WRAPPER\n",
                  static_cast<unsigned long long>(limit));
      continue;
    }
    ASSERT_LT(limit, printed_.size());
    process_options limited;
    limited.file_size_limit = limit;
    limited.output = child_output::to_file;
    limited.output_file = path("values.bump");
    const process_result result = open_tool({gtk_, qel_}, limited);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
    const bytes text = read_file(limited.output_file);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              printed_.substr(0, static_cast<std::size_t>(limit)));
  }
}

TEST_F(refused_output_test, PipeWithoutReaderFailsTheRun) {
  process_options dead_output;
  dead_output.output = child_output::dead_pipe;
  struct pipe_case {
    const char* label;
    std::string gtk, qel;
    int status;
  };
  const pipe_case cases[] = {
      {"values that cannot be printed", gtk_, qel_, 1},
      {"a message that cannot be printed", gtk_, path("missing.qel"), 1},
      // No value to print, so nothing is lost.
      {"a table of no entries", write_file("empty.gtk", make_gtk({})),
       write_file("empty.qel", model_qel({}, {})), 0},
  };
  for (const pipe_case& c : cases) {
    SCOPED_TRACE(c.label);
    const process_result result = open_tool({c.gtk, c.qel}, dead_output);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.err, "");
  }
}

}  // namespace
