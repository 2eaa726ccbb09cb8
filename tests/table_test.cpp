// tessera-table run as a process: that what it lists is what the test gtk
// writer put in the table, line for line; its refusals, in Tessera's words;
// that a standard output which cannot take the lines fails the run; and
// that its first line names the number of values Tessera wants.

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "gtk_failures.h"
#include "gtk_writer.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using bytes = std::vector<std::uint8_t>;

constexpr std::size_t most_entries = 4098;

// TESSERA_TABLE_BINARY from the environment if set (an installed or cross-
// built copy), else the one this build made.
std::string table_binary() {
  return binary_from_env("TESSERA_TABLE_BINARY", TESSERA_TABLE_PATH);
}

process_result table_tool(const std::vector<std::string>& args) {
  return run_program(table_binary(), args);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The listing of entries, formatted here on its own: the count, then index,
// kind in decimal and key in 8 lowercase hex digits, one line each.
std::vector<std::string> expected_lines(const std::vector<gtk_entry>& entries) {
  std::vector<std::string> lines = {"entry_count " +
                                    std::to_string(entries.size())};
  for (std::size_t n = 0; n < entries.size(); ++n) {
    char line[64];
    std::snprintf(line, sizeof line, "%zu %" PRIu32 " %08" PRIx32, n,
                  entries[n].kind, entries[n].key);
    lines.emplace_back(line);
  }
  return lines;
}

// Compared line by line, so a failure names the first line that differs.
void expect_listing(const std::string& out,
                    const std::vector<gtk_entry>& entries) {
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '\n');
  const std::vector<std::string> got = lines_of(out);
  const std::vector<std::string> want = expected_lines(entries);
  EXPECT_EQ(got.size(), want.size());
  for (std::size_t n = 0; n < got.size() && n < want.size(); ++n) {
    if (got[n] != want[n]) {
      ADD_FAILURE() << "line " << n + 1 << ": '" << got[n] << "', expected '"
                    << want[n] << "'";
      return;
    }
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

class table_test : public temp_dir_test {};

TEST_F(table_test, ListsTheKindsAndKeysTheTableWasWrittenWith) {
  std::mt19937 rng(20261212);
  struct table_case {
    const char* label;
    std::vector<gtk_entry> entries;
    gtk_layout layout;
  };
  gtk_layout with_gap;
  with_gap.gap = 333;
  with_gap.filler = 0x01;
  const table_case cases[] = {
      {"no entries", {}, {}},
      {"one entry of kind 1, key in word 3", {{1, 0x89ABCDEF}}, {}},
      // Kinds at every change of decimal width, keys with leading zeros and
      // with every hex letter; 1 takes word 3, every other kind word 1.
      {"mixed kinds",
       {{0, 0x00000000},
        {1, 0xFFFFFFFF},
        {2, 0x0000000A},
        {0xFFFFFFFF, 0xA0000000},
        {9, 0x00ABCDEF},
        {10, 0x12345678},
        {99, 0xFEDCBA98},
        {100, 0x00000001},
        {999999999, 0x10000000},
        {1000000000, 0x0F0F0F0F},
        {0xFFFFFFFE, 0xC0FFEE00},
        {1, 0x00000000},
        {0, 0xFFFFFFFF},
        {2, 0x7FFFFFFF}},
       with_gap},
      // The largest tables: indices of one to four digits, and a listing
      // of many chunks of output whose ends fall in other places in each.
      // With no gap the table starts right after the header, at byte 40.
      {"4,098 entries", random_entries(rng, most_entries), with_gap},
      {"4,097 entries, no gap", random_entries(rng, most_entries - 1), {}},
  };
  for (const table_case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string gtk =
        write_file("table.gtk", make_gtk(c.entries, c.layout));
    const process_result listed = table_tool({gtk});
    EXPECT_EQ(listed.status, 0) << listed.out.substr(0, 200);
    EXPECT_EQ(listed.err, "");
    expect_listing(listed.out, c.entries);
  }
}

// A gtk file Tessera refuses, tessera-table refuses in the same words and
// lists nothing.
TEST_F(table_test, GtkFailuresReadAsTesserasOwn) {
  const std::vector<gtk_entry> entries = {
      {0, 0x11111111}, {1, 0x22222222}, {2, 0x33333333}};
  const std::string bump = write_text("values.bump", "1 2 3\n");
  for (const gtk_failure& c : write_gtk_failures(dir_, entries)) {
    SCOPED_TRACE(c.label);
    const std::string message = with_path(c.message, c.path);

    const process_result listed = table_tool({c.path});
    EXPECT_EQ(listed.out, message);
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "");

    const process_result sealed = run_tool({c.path, bump, path("never.qel")});
    EXPECT_EQ(sealed.out, message);
    EXPECT_EQ(sealed.status, 1);
  }
}

TEST_F(table_test, WrongArgumentCountsPrintTheUsage) {
  const std::string gtk = write_file("table.gtk", make_gtk({{1, 0x12345678}}));
  const std::vector<std::vector<std::string>> argument_lists = {
      {}, {gtk, gtk}, {gtk, gtk, gtk}};
  for (const auto& args : argument_lists) {
    SCOPED_TRACE(std::to_string(args.size()) + " arguments");
    const process_result result = table_tool(args);
    EXPECT_EQ(result.out, "Usage: tessera-table gtk_file\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "");
  }
}

// Standard output that takes nothing fails the run, with no message since
// messages go there too: a pipe whose reader has gone and a full device, for
// output of one line, of a few and of many chunks. /dev/null, which takes
// everything, shows that it is the refusal that fails the run.
TEST_F(table_test, OutputThatCannotBeWrittenFailsTheRun) {
  std::mt19937 rng(20261213);
  const std::size_t counts[] = {0, 3, most_entries};
  struct sink_case {
    const char* label;
    child_output output;
    const char* file;
    int status;
  };
  const sink_case sinks[] = {
      {"a pipe whose reader has closed it", child_output::dead_pipe, "", 1},
      {"/dev/full", child_output::to_file, "/dev/full", 1},
      {"/dev/null", child_output::to_file, "/dev/null", 0},
  };
  for (const std::size_t count : counts) {
    const std::string gtk =
        write_file("table.gtk", make_gtk(random_entries(rng, count)));
    for (const sink_case& sink : sinks) {
      SCOPED_TRACE(std::to_string(count) + " entries into " + sink.label);
      process_options options;
      options.output = sink.output;
      options.output_file = sink.file;
      const process_result result = run_program(table_binary(), {gtk}, options);
      EXPECT_EQ(result.status, sink.status);
      EXPECT_EQ(result.err, "");
    }
  }
}

// `tessera-table g | head -1` names the count `Tessera g b q` wants: a bump
// file of exactly that many values seals, one fewer or one more does not.
TEST_F(table_test, TheFirstLineNamesTheCountTesseraWants) {
  std::mt19937 rng(20261214);
  const std::size_t counts[] = {0, 1, 7, most_entries};
  for (const std::size_t count : counts) {
    SCOPED_TRACE(std::to_string(count) + " entries");
    const std::string gtk =
        write_file("table.gtk", make_gtk(random_entries(rng, count)));
    const process_result listed = table_tool({gtk});
    ASSERT_EQ(listed.status, 0);
    const std::string first = listed.out.substr(0, listed.out.find('\n'));
    const std::string label = "entry_count ";
    ASSERT_EQ(first.substr(0, label.size()), label);
    const std::size_t wanted = std::stoul(first.substr(label.size()));

    const std::string qel = path("sealed.qel");
    for (std::size_t values = wanted == 0 ? 0 : wanted - 1;
         values <= wanted + 1; ++values) {
      SCOPED_TRACE(std::to_string(values) + " values");
      std::string text;
      for (std::size_t n = 0; n < values; ++n) text += "1.5\n";
      const std::string bump = write_text("values.bump", text);
      const process_result sealed = run_tool({gtk, bump, qel});
      if (values == wanted) {
        EXPECT_EQ(sealed.out, "");
        EXPECT_EQ(sealed.status, 0);
        EXPECT_EQ(read_file(qel).size(), 32 + 4 * wanted);
      } else {
        EXPECT_EQ(sealed.out, "Incorrect number of entries in " + bump + "\n");
        EXPECT_EQ(sealed.status, 1);
      }
    }
  }
}

}  // namespace
