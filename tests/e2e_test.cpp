// End to end: the built Tessera run as a process on files written here.
//
// Every launch goes through run_tool, so the same cases run under a wrapper
// (valgrind, qemu) or against another binary. Each case checks standard
// output exactly, the exit status, that nothing reaches standard error, and
// the qel file byte for byte against the model and deciphered.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "crypto/tea.h"
#include "example/example_entries.h"
#include "gtk_writer.h"
#include "oracle.h"
#include "process.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string usage = "Usage: Tessera gtk_file bump_file qel_file\n";

constexpr std::uint32_t most_entries = 4098;  // the value table's capacity
constexpr std::size_t line_piece = 32767;     // characters one fgets takes

float from_bits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// A table of n entries of mixed kinds with distinct keys.
std::vector<gtk_entry> entries_of(std::uint32_t n) {
  std::vector<gtk_entry> entries;
  for (std::uint32_t i = 0; i < n; ++i) {
    entries.push_back({i % 3, 0x9E3779B9u * (i + 1) ^ 0x01234567u});
  }
  return entries;
}

// n exactly representable values, spread several to a line.
std::vector<float> values_of(std::uint32_t n) {
  std::vector<float> values;
  for (std::uint32_t i = 0; i < n; ++i) {
    values.push_back(static_cast<float>(i) * 0.25f - 500.0f);
  }
  return values;
}

std::string bump_text(const std::vector<float>& values, bool one_line = false) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "%.9g",
                  static_cast<double>(values[i]));
    text += number;
    text += one_line || i % 5 != 4 ? " " : "\n";
  }
  return text + "\n";
}

// Where two byte strings first differ, for a readable failure.
std::string first_difference(const bytes& got, const bytes& want) {
  const auto diff =
      std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  return "sizes " + std::to_string(got.size()) + " vs " +
         std::to_string(want.size()) + ", first difference at byte " +
         std::to_string(diff.first - got.begin());
}

// A file's bytes and modification time, to show it was not touched.
struct file_state {
  bytes content;
  fs::file_time_type mtime;
  bool operator==(const file_state&) const = default;
};

class e2e_test : public temp_dir_test {
 protected:
  // The tool, which must never write to standard error.
  static process_result tessera(const std::vector<std::string>& args,
                                const process_options& options = {}) {
    process_result result = run_tool(args, options);
    EXPECT_EQ(result.err, "") << "standard error must stay empty";
    return result;
  }

  std::string gtk(const std::string& name,
                  const std::vector<gtk_entry>& entries,
                  const gtk_layout& layout = {}) const {
    return write_file(name, make_gtk(entries, layout));
  }

  // A gtk file whose header claims count entries but that holds slots.
  std::string gtk_claiming(const std::string& name, std::uint32_t count,
                           const std::vector<gtk_entry>& slots = {}) const {
    gtk_layout layout;
    layout.header_count_set = true;
    layout.header_count = count;
    return gtk(name, slots, layout);
  }

  std::string make_dir(const std::string& name) const {
    const std::string full = path(name);
    fs::create_directory(full);
    return full;
  }

  // An existing file with an old modification time, so a rewrite shows.
  std::string old_file(const std::string& name, const bytes& content) const {
    const std::string full = write_file(name, content);
    fs::last_write_time(
        full, fs::file_time_type::clock::now() - std::chrono::hours(48));
    return full;
  }

  static file_state state_of(const std::string& file) {
    return {read_file(file), fs::last_write_time(file)};
  }

  std::set<std::string> listing() const {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(dir_)) {
      names.insert(item.path().string());
    }
    return names;
  }

  static void expect_failure(const process_result& result,
                             const std::string& message) {
    EXPECT_EQ(result.out, message);
    EXPECT_EQ(result.status, 1);
  }

  // A successful run: silent, status 0, and the qel file the model gives,
  // which deciphers to the two digests and the values.
  static void expect_sealed(const process_result& result,
                            const std::string& qel,
                            const std::vector<std::uint32_t>& keys,
                            const std::vector<float>& values) {
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 0);
    ASSERT_TRUE(exists(qel)) << qel;
    const bytes file = read_file(qel);
    const bytes model = model_qel(keys, values);
    EXPECT_TRUE(file == model) << first_difference(file, model);

    const bytes payload = open_qel(keys, file);
    ASSERT_EQ(payload.size(), 32 + 4 * values.size());
    EXPECT_EQ(bytes(payload.begin(), payload.begin() + 16),
              openssl_md5(words_le(keys)))
        << "entry digest";
    EXPECT_EQ(bytes(payload.begin() + 16, payload.begin() + 32),
              openssl_md5(floats_le(values)))
        << "value digest";
    for (std::size_t i = 0; i < values.size(); ++i) {
      const bytes got(payload.begin() + 32 + 4 * static_cast<long>(i),
                      payload.begin() + 36 + 4 * static_cast<long>(i));
      ASSERT_EQ(got, floats_le({values[i]})) << "value " << i;
    }
  }
};

// ---------------------------------------------------------------- arguments

TEST_F(e2e_test, WrongArgumentCountPrintsUsageAndTouchesNothing) {
  const std::string gtk_path = gtk("t.gtk", entries_of(2));
  const std::string bump_path = write_text("t.bump", "1 2\n");
  const std::string qel_path = path("t.qel");
  const std::string missing = path("missing.gtk");
  const std::vector<std::vector<std::string>> argument_lists = {
      {},                     // argument count 1
      {gtk_path, bump_path},  // 3
      {missing, bump_path},   // 3, and the gtk is missing
      {gtk_path, bump_path, qel_path, qel_path + "2"},  // 5
      {missing, missing, qel_path, qel_path},           // 5
  };
  const auto before = listing();
  const file_state gtk_before = state_of(gtk_path);
  for (const auto& args : argument_lists) {
    SCOPED_TRACE(std::to_string(args.size() + 1) + " arguments");
    expect_failure(tessera(args), usage);
    EXPECT_EQ(listing(), before) << "no file may be created";
  }
  EXPECT_EQ(state_of(gtk_path), gtk_before);
}

// ---------------------------------------------- failures before the writing

// Every failure that happens before the qel file is opened: its exact
// message, status 1, no qel file created when there was none, an existing
// one left byte for byte and time for time, and the inputs never touched.
TEST_F(e2e_test, FailureBeforeWritingLeavesTheQelFileAlone) {
  struct failure_case {
    const char* name;
    const char* format;  // the message, with %s for the path it names
    std::function<std::vector<std::string>()> inputs;  // gtk, bump, named
  };
  const std::vector<failure_case> cases = {
      {"missing gtk", "Couldn't open %s\n",
       [&] {
         const std::string g = path("none.gtk");
         return std::vector<std::string>{g, write_text("b", "1\n"), g};
       }},
      {"missing gtk and missing bump: the gtk is opened first",
       "Couldn't open %s\n",
       [&] {
         const std::string g = path("none.gtk");
         return std::vector<std::string>{g, path("none.bump"), g};
       }},
      {"gtk is a directory", "Couldn't read %s\n",
       [&] {
         const std::string g = make_dir("dir.gtk");
         return std::vector<std::string>{g, write_text("b", ""), g};
       }},
      {"gtk of 39 bytes", "Couldn't read %s\n",
       [&] {
         bytes file = make_gtk({});
         file.pop_back();
         const std::string g = write_file("short.gtk", file);
         return std::vector<std::string>{g, write_text("b", ""), g};
       }},
      {"bad gtk, missing bump: the bump file is not opened",
       "Couldn't read %s\n",
       [&] {
         const std::string g = write_file("empty.gtk", {});
         return std::vector<std::string>{g, path("none.bump"), g};
       }},
      {"gtk too short for its table", "Couldn't seek in %s\n",
       [&] {
         const std::string g = gtk_claiming("seek.gtk", 1);
         return std::vector<std::string>{g, write_text("b", "1\n"), g};
       }},
      {"4,099 entries", "Too many entries in %s\n",
       [&] {
         const std::string g = gtk_claiming("many.gtk", most_entries + 1,
                                            entries_of(most_entries + 1));
         return std::vector<std::string>{
             g, write_text("b", bump_text(values_of(most_entries + 1))), g};
       }},
      {"0xFFFFFFFF entries", "Too many entries in %s\n",
       [&] {
         const std::string g = gtk_claiming("huge.gtk", 0xFFFFFFFFu);
         return std::vector<std::string>{g, write_text("b", ""), g};
       }},
      {"missing bump", "Couldn't open %s\n",
       [&] {
         const std::string b = path("none.bump");
         return std::vector<std::string>{gtk("g", entries_of(1)), b, b};
       }},
      {"bump is a directory, 0 entries", "Couldn't read %s\n",
       [&] {
         const std::string b = make_dir("dir.bump");
         return std::vector<std::string>{gtk("g", {}), b, b};
       }},
      {"bump is a directory, 2 entries", "Couldn't read %s\n",
       [&] {
         const std::string b = make_dir("dir.bump");
         return std::vector<std::string>{gtk("g", entries_of(2)), b, b};
       }},
      {"one value too few", "Incorrect number of entries in %s\n",
       [&] {
         const std::string b = write_text("b", "1 2\n");
         return std::vector<std::string>{gtk("g", entries_of(3)), b, b};
       }},
      {"one value too many", "Incorrect number of entries in %s\n",
       [&] {
         const std::string b = write_text("b", "1 2\n3 4\n");
         return std::vector<std::string>{gtk("g", entries_of(3)), b, b};
       }},
  };

  const bytes earlier_qel = {'e', 'a', 'r', 'l', 'i', 'e', 'r', 0, 0xFF};
  for (const failure_case& c : cases) {
    for (const bool qel_exists : {false, true}) {
      SCOPED_TRACE(std::string(c.name) +
                   (qel_exists ? ", qel exists" : ", no qel"));
      fs::remove_all(dir_);
      fs::create_directory(dir_);
      const std::vector<std::string> in = c.inputs();
      const std::string qel = path("out.qel");
      if (qel_exists) old_file("out.qel", earlier_qel);
      std::vector<std::pair<std::string, file_state>> inputs_before;
      for (const std::string& input : {in[0], in[1]}) {
        if (fs::is_regular_file(input))
          inputs_before.emplace_back(input, state_of(input));
      }
      const file_state qel_before = qel_exists ? state_of(qel) : file_state{};

      const process_result result = tessera({in[0], in[1], qel});

      char message[4096];
      std::snprintf(message, sizeof message, c.format, in[2].c_str());
      expect_failure(result, message);
      if (qel_exists) {
        EXPECT_EQ(state_of(qel), qel_before) << "existing qel file touched";
      } else {
        EXPECT_FALSE(exists(qel)) << "qel file created";
      }
      for (const auto& [input, before] : inputs_before) {
        EXPECT_EQ(state_of(input), before) << input << " was modified";
      }
    }
  }
}

// --------------------------------------------------------- the qel path

TEST_F(e2e_test, UnopenableQelPathIsNamed) {
  const std::string gtk_path = gtk("t.gtk", entries_of(1));
  const std::string bump_path = write_text("t.bump", "1\n");
  const std::vector<std::string> qel_paths = {
      make_dir("existing-dir.qel"), path("no-such-dir/out.qel"),
      std::string(dir_) + "/",  // the directory itself, named with a slash
  };
  for (const std::string& qel : qel_paths) {
    SCOPED_TRACE(qel);
    expect_failure(tessera({gtk_path, bump_path, qel}),
                   "Couldn't open " + qel + "\n");
  }
  EXPECT_FALSE(exists(path("no-such-dir")));
  EXPECT_TRUE(fs::is_empty(path("existing-dir.qel")));
}

// A write that fails only when the stream is flushed or closed (0 entries,
// 32 bytes fit the stream's buffer) and one that comes back short (4,098
// entries) are both failures.
TEST_F(e2e_test, FullDeviceIsAWriteFailure) {
  if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  for (const std::uint32_t n : {0u, 1u, most_entries}) {
    SCOPED_TRACE(std::to_string(n) + " entries");
    const std::string gtk_path = gtk("t.gtk", entries_of(n));
    const std::string bump_path = write_text("t.bump", bump_text(values_of(n)));
    expect_failure(tessera({gtk_path, bump_path, "/dev/full"}),
                   "Couldn't write to /dev/full\n");
  }
}

// ------------------------------------------------ a qel path naming an input

// Opening the qel file truncates it, so a qel path that leads to an input,
// by whatever path or link, is refused before anything is opened for
// writing: "Couldn't open" with the qel path, status 1, both inputs byte
// for byte and time for time as they were, and no file made. The run
// starts in the files' directory, so the relative paths are a user's own.
TEST_F(e2e_test, QelPathNamingAnInputIsRefused) {
  const std::vector<gtk_entry> entries = entries_of(3);
  const std::string gtk_path = old_file("t.gtk", make_gtk(entries));
  const std::string bump_path = old_file("t.bump", {'1', ' ', '2', ' ', '3'});
  make_dir("sub");
  fs::create_hard_link(gtk_path, path("gtk.link"));
  fs::create_hard_link(bump_path, path("bump.link"));
  fs::create_symlink("t.gtk", path("gtk.sym"));
  fs::create_symlink("t.bump", path("bump.sym"));
  fs::create_symlink(dir_, path("here"));  // the directory itself

  struct named_input_case {
    std::string gtk, bump, qel;
  };
  std::vector<named_input_case> cases;
  for (const std::string input : {"gtk", "bump"}) {
    const std::string name = "t." + input;
    const std::string& full = input == "gtk" ? gtk_path : bump_path;
    for (const std::string& qel : {
             name,                      // the very same string
             "./" + name,               // another spelling
             full,                      // the absolute path
             "sub/../" + name,          // through a directory
             "here/" + name,            // a linked directory
             "/proc/self/cwd/" + name,  // the kernel's own link
             input + ".link",           // a hard link
             input + ".sym",            // a symbolic link
         }) {
      cases.push_back({"t.gtk", "t.bump", qel});
    }
    // The input named by its links, the qel path by the file's own name.
    cases.push_back(input == "gtk"
                        ? named_input_case{"gtk.sym", "t.bump", name}
                        : named_input_case{"t.gtk", "bump.link", name});
  }

  process_options in_dir;
  in_dir.working_dir = dir_.string();
  const file_state gtk_before = state_of(gtk_path);
  const file_state bump_before = state_of(bump_path);
  const auto listed = listing();
  for (const named_input_case& c : cases) {
    SCOPED_TRACE("Tessera " + c.gtk + " " + c.bump + " " + c.qel);
    if (c.qel.starts_with("/proc/") && !exists("/proc/self/cwd")) continue;
    expect_failure(tessera({c.gtk, c.bump, c.qel}, in_dir),
                   "Couldn't open " + c.qel + "\n");
    EXPECT_EQ(state_of(gtk_path), gtk_before) << "the gtk file was touched";
    EXPECT_EQ(state_of(bump_path), bump_before) << "the bump file was touched";
    EXPECT_EQ(listing(), listed) << "a file was made or removed";
  }
}

// Beside those refusals: qel paths near the inputs that lead to other files
// are written as ever, an existing file rewritten whole, and the inputs are
// never touched. Only the file identity counts, not the name or the content.
TEST_F(e2e_test, QelPathBesideTheInputsIsWritten) {
  const std::vector<gtk_entry> entries = entries_of(3);
  const bytes gtk_bytes = make_gtk(entries);
  const std::string gtk_path = old_file("t.gtk", gtk_bytes);
  const std::string bump_path = old_file("t.bump", {'1', ' ', '2', ' ', '3'});
  make_dir("sub");
  old_file("sub/t.gtk", gtk_bytes);  // the gtk's name, another directory
  old_file("copy.gtk", gtk_bytes);   // the gtk's bytes, another file
  old_file("old.qel", bytes(1000, 0xEE));
  old_file("other.qel", bytes(1000, 0xEE));
  fs::create_symlink("other.qel", path("other.sym"));
  fs::create_symlink("made.qel", path("dangling.sym"));

  struct beside_case {
    std::string qel;      // as given, relative to the files' directory
    std::string written;  // the file that must then hold the sealed bytes
  };
  const beside_case cases[] = {
      {"t.qel", "t.qel"},            // not there yet
      {"old.qel", "old.qel"},        // longer, rewritten whole
      {"sub/t.gtk", "sub/t.gtk"},    // same name, other file
      {"copy.gtk", "copy.gtk"},      // same bytes, other file
      {"other.sym", "other.qel"},    // a link to another file
      {"dangling.sym", "made.qel"},  // a link to no file yet
      {path("old.qel"), "old.qel"},  // absolute
  };
  process_options in_dir;
  in_dir.working_dir = dir_.string();
  const file_state gtk_before = state_of(gtk_path);
  const file_state bump_before = state_of(bump_path);
  for (const beside_case& c : cases) {
    SCOPED_TRACE("qel path " + c.qel);
    expect_sealed(tessera({"t.gtk", "t.bump", c.qel}, in_dir), path(c.written),
                  entry_keys(entries), {1, 2, 3});
    EXPECT_EQ(state_of(gtk_path), gtk_before);
    EXPECT_EQ(state_of(bump_path), bump_before);
  }
  EXPECT_TRUE(fs::is_symlink(path("other.sym")));
  // A device is never compared, so it is written as today.
  const process_result to_null = tessera({gtk_path, bump_path, "/dev/null"});
  EXPECT_EQ(to_null.out, "");
  EXPECT_EQ(to_null.status, 0);
}

// ------------------------------------------------- writes the system refuses

// A write past the file size limit (RLIMIT_FSIZE) raises SIGXFSZ, whose
// default action would end the run with status 153 and no word. The tool
// ignores it, so the write comes back short: "Couldn't write to", status 1,
// and the file keeps the bytes that reached it, the first bytes of the
// sealed file up to the limit.
TEST_F(e2e_test, FileSizeLimitIsAWriteFailure) {
  struct limit_case {
    std::uint64_t limit;  // bytes
    std::uint32_t entries;
  };
  const limit_case cases[] = {
      {0, 0},                 // 32 bytes, refused when the stream is flushed
      {31, 1},                // one byte short of the 36
      {4096, most_entries},   // a whole number of stream buffers
      {10000, most_entries},  // cut inside one write
  };
  for (const limit_case& c : cases) {
    SCOPED_TRACE("limit " + std::to_string(c.limit) + ", " +
                 std::to_string(c.entries) + " entries");
    if (wrapped() && c.limit < wrapper_file_room) {
      std::printf("limit %llu not tried under TESSERA_WRAPPER\n",
                  static_cast<unsigned long long>(c.limit));
      continue;
    }
    const std::vector<gtk_entry> entries = entries_of(c.entries);
    const std::vector<float> values = values_of(c.entries);
    const std::string gtk_path = gtk("t.gtk", entries);
    const std::string bump_path = write_text("t.bump", bump_text(values));
    const std::string qel = path("t.qel");
    fs::remove(qel);
    process_options limited;
    limited.file_size_limit = c.limit;
    expect_failure(tessera({gtk_path, bump_path, qel}, limited),
                   "Couldn't write to " + qel + "\n");
    const bytes model = model_qel(entry_keys(entries), values);
    ASSERT_LT(c.limit, model.size());
    EXPECT_EQ(read_file(qel),
              bytes(model.begin(), model.begin() + static_cast<long>(c.limit)));
  }
}

// A write into a pipe or FIFO whose reader has gone raises SIGPIPE, whose
// default action would end the run with status 141. The tool ignores it, so
// the write comes back short and the run ends with status 1; the message is
// lost only when standard output is that very pipe.
TEST_F(e2e_test, PipeWithoutReaderIsAWriteFailure) {
  const std::vector<gtk_entry> entries = entries_of(most_entries);
  const std::vector<float> values = values_of(most_entries);
  const std::string gtk_path = gtk("t.gtk", entries);
  const std::string bump_path = write_text("t.bump", bump_text(values));

  {
    SCOPED_TRACE(
        "the qel path is a FIFO whose reader leaves at its first byte");
    const std::string fifo = path("out.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    process_options leaving;
    leaving.leaving_reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(leaving.leaving_reader, 0);
    // The smallest pipe buffer: the sealed file cannot fit in it, so some
    // write must still be waiting when the reader leaves.
    const int capacity = fcntl(leaving.leaving_reader, F_SETPIPE_SZ, 4096);
    ASSERT_GT(capacity, 0);
    ASSERT_LT(static_cast<std::size_t>(capacity), 32 + 4 * values.size());
    expect_failure(tessera({gtk_path, bump_path, fifo}, leaving),
                   "Couldn't write to " + fifo + "\n");
  }

  process_options dead_output;
  dead_output.output = child_output::dead_pipe;
  {
    SCOPED_TRACE("the qel path is /dev/stdout, a pipe whose reader has gone");
    EXPECT_EQ(tessera({gtk_path, bump_path, "/dev/stdout"}, dead_output).status,
              1);
  }
  {
    SCOPED_TRACE("a message into a standard output whose reader has gone");
    EXPECT_EQ(tessera({path("none.gtk"), bump_path, path("t.qel")}, dead_output)
                  .status,
              1);
    EXPECT_FALSE(exists(path("t.qel")));
  }
  {
    SCOPED_TRACE("a run that succeeds says nothing, so nothing is lost");
    const std::string qel = path("t.qel");
    const process_result result =
        tessera({gtk_path, bump_path, qel}, dead_output);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_file(qel), model_qel(entry_keys(entries), values));
  }
}

// --------------------------------------------------------------- gtk file

TEST_F(e2e_test, GtkShorterThanHeaderCannotBeRead) {
  const bytes whole = make_gtk(entries_of(1));
  const std::string bump_path = write_text("t.bump", "1\n");
  const std::string qel = path("t.qel");
  for (std::size_t length = 0; length < 40; ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    const std::string gtk_path = write_file(
        "t.gtk",
        bytes(whole.begin(), whole.begin() + static_cast<long>(length)));
    expect_failure(tessera({gtk_path, bump_path, qel}),
                   "Couldn't read " + gtk_path + "\n");
    EXPECT_FALSE(exists(qel));
  }
}

TEST_F(e2e_test, GtkShorterThanItsTableCannotBeSought) {
  struct seek_case {
    std::uint32_t count;  // entry_count in the header
    std::size_t size;     // the file's size, at least 40 and below 64 * count
  };
  const seek_case cases[] = {
      {1, 40},
      {1, 63},
      {2, 64},
      {2, 127},
      {3, 191},
      {most_entries, 40},
      {most_entries, 64 * most_entries - 1},
  };
  const std::string bump_path = write_text("t.bump", "1\n");
  const std::string qel = path("t.qel");
  for (const seek_case& c : cases) {
    SCOPED_TRACE("entry_count " + std::to_string(c.count) + ", size " +
                 std::to_string(c.size));
    gtk_layout layout;
    layout.header_count_set = true;
    layout.header_count = c.count;
    layout.gap = c.size - 40;
    const std::string gtk_path = gtk("t.gtk", {}, layout);
    ASSERT_EQ(fs::file_size(gtk_path), c.size);
    expect_failure(tessera({gtk_path, bump_path, qel}),
                   "Couldn't seek in " + gtk_path + "\n");
    EXPECT_FALSE(exists(qel));
  }
}

// A gtk file that cannot be positioned (a FIFO here, and so a pipe or a
// process substitution) is read as far as its header and then refused: its
// table is found only by seeking back from the end.
TEST_F(e2e_test, GtkThatCannotBePositionedCannotBeSought) {
  const std::string bump_path = write_text("t.bump", "1 2\n");
  const std::string qel = path("t.qel");
  for (const std::uint32_t n : {0u, 2u}) {
    SCOPED_TRACE(std::to_string(n) + " entries");
    const std::string fifo = path("gtk.fifo");
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Held open for reading and writing, the FIFO opens at once for the tool
    // and already holds the whole gtk file.
    const int held = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    const bytes file = make_gtk(entries_of(n));
    ASSERT_EQ(write(held, file.data(), file.size()),
              static_cast<ssize_t>(file.size()));
    expect_failure(tessera({fifo, bump_path, qel}),
                   "Couldn't seek in " + fifo + "\n");
    close(held);
    EXPECT_FALSE(exists(qel));
  }
}

// The table is found only from the end of the file: cut a valid file short
// and, as long as 64 * N bytes remain, the slots are read from wherever
// they now start, even over the leading bytes and the header.
TEST_F(e2e_test, TableIsCountedBackFromTheEnd) {
  const std::uint32_t n = 2;
  const bytes whole = make_gtk(entries_of(n));
  ASSERT_EQ(whole.size(), 40 + 64 * n);
  const std::string bump_path = write_text("t.bump", "3 4\n");
  const std::string qel = path("t.qel");
  for (const std::size_t size : {128u, 129u, 136u, 150u, 167u}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const bytes file(whole.begin(), whole.begin() + static_cast<long>(size));
    std::vector<std::uint32_t> keys;
    for (std::size_t slot = size - 64 * n; slot < size; slot += 64) {
      std::uint8_t record[record_size];
      std::copy_n(file.begin() + static_cast<long>(slot), record_size, record);
      decipher_record(record);
      keys.push_back(load32_le(record) == 1 ? load32_le(record + 12)
                                            : load32_le(record + 4));
    }
    const std::string gtk_path = write_file("t.gtk", file);
    expect_sealed(tessera({gtk_path, bump_path, qel}), qel, keys, {3, 4});
  }
}

// Only kind 1 takes its key from clear word 3; every other kind, including
// words whose low byte or high byte is 1, takes clear word 1. gtk_writer puts
// a decoy in the word not chosen.
TEST_F(e2e_test, EntryKindChoosesTheKeyWord) {
  const std::vector<gtk_entry> entries = {
      {0, 0x11111111u},           {1, 0x22222222u},
      {2, 0x33333333u},           {0xFFFFFFFFu, 0x44444444u},
      {0x00000101u, 0x55555555u}, {0x01000001u, 0x66666666u},
      {1, 0x00000000u},           {3, 0xFFFFFFFFu},
  };
  const std::vector<std::uint32_t> keys = {
      0x11111111u, 0x22222222u, 0x33333333u, 0x44444444u,
      0x55555555u, 0x66666666u, 0x00000000u, 0xFFFFFFFFu,
  };
  const std::string gtk_path = gtk("t.gtk", entries);
  const std::string bump_path = write_text("t.bump", "1 2 3 4 5 6 7 8\n");
  const std::string qel = path("t.qel");
  expect_sealed(tessera({gtk_path, bump_path, qel}), qel, keys,
                {1, 2, 3, 4, 5, 6, 7, 8});
}

// The leading bytes, whatever lies between the header and the table and the
// second halves of the slots are never examined; a file of exactly
// 40 + 64 * N bytes holds its table right after the header.
TEST_F(e2e_test, UnexaminedBytesChangeNothing) {
  const std::vector<gtk_entry> entries = entries_of(5);
  const std::vector<float> values = {1, 2, 3, 4, 5};
  const std::string bump_path = write_text("t.bump", "1 2 3 4 5\n");
  struct layout_case {
    std::size_t gap;
    std::uint8_t filler;
  };
  const layout_case layouts[] = {
      {0, 0x00}, {0, 0xFF}, {0, 0xA5}, {1, 0x00}, {23, 0x7F}, {4096, 0x80},
  };
  bytes first_qel;
  for (const layout_case& l : layouts) {
    SCOPED_TRACE("gap " + std::to_string(l.gap) + ", filler " +
                 std::to_string(l.filler));
    gtk_layout layout;
    layout.gap = l.gap;
    layout.filler = l.filler;
    const std::string gtk_path = gtk("t.gtk", entries, layout);
    ASSERT_EQ(fs::file_size(gtk_path), 40 + 64 * entries.size() + l.gap);
    const std::string qel = path("t.qel");
    expect_sealed(tessera({gtk_path, bump_path, qel}), qel, entry_keys(entries),
                  values);
    if (first_qel.empty()) first_qel = read_file(qel);
    EXPECT_EQ(read_file(qel), first_qel);
  }
}

TEST_F(e2e_test, ZeroEntriesAndNoNumberGiveTheTwoDigests) {
  const std::string gtk_path = gtk("t.gtk", {});
  ASSERT_EQ(fs::file_size(gtk_path), 40u);
  const std::string qel = path("t.qel");
  for (const char* bump : {"", "\n\n", "   \t\r\n", "no numbers here\n-\n"}) {
    SCOPED_TRACE(std::string("bump ") + bump);
    expect_sealed(tessera({gtk_path, write_text("t.bump", bump), qel}), qel, {},
                  {});
    EXPECT_EQ(fs::file_size(qel), 32u);
  }
}

// -------------------------------------------------------------- the cap

TEST_F(e2e_test, LargestTableSealsOnBothBumpLayouts) {
  const std::vector<gtk_entry> entries = entries_of(most_entries);
  const std::vector<float> values = values_of(most_entries);
  const std::string gtk_path = gtk("t.gtk", entries);
  for (const bool one_line : {false, true}) {
    SCOPED_TRACE(one_line ? "all values on one line" : "five values a line");
    const std::string text = bump_text(values, one_line);
    ASSERT_LT(text.size(), line_piece);
    const std::string qel = path("t.qel");
    expect_sealed(tessera({gtk_path, write_text("t.bump", text), qel}), qel,
                  entry_keys(entries), values);
  }
}

// ---------------------------------------------------------- the bump file

// What the bump file's text yields. Values are written out as literals:
// they do not depend on the keys.
TEST_F(e2e_test, BumpTextYieldsTheseValues) {
  const std::string spaces_then_12 = std::string(line_piece - 1, ' ') + "12\n";
  struct bump_case {
    const char* name;
    std::string text;
    std::vector<float> values;  // as many entries as values
  };
  const float inf = from_bits(0x7F800000u);
  const std::vector<bump_case> cases = {
      {"lines", "1 2\n3\n", {1, 2, 3}},
      {"the rest of a line after text is skipped", "1 2 x 3\n4\n", {1, 2, 4}},
      {"a line starting with text", "x 1\n5\n", {5}},
      {"a sign begins the next number", "1-2\n", {1, -2}},
      {"a second point begins the next number", "1.5.5\n", {1.5f, 0.5f}},
      {"letters glued to a number", "7abc 8\n9\n", {7, 9}},
      {"a comma", "1,5 2\n3\n", {1, 3}},
      {"CRLF lines", "1\r\n2 3\r\n\r\n4\r\n", {1, 2, 3, 4}},
      {"lone carriage returns", "1\r2\r", {1, 2}},
      {"blank lines and white space", "\n\n \t 1 \v\f\n\n\t2\t\n  \n", {1, 2}},
      {"no newline at the end", "1 2", {1, 2}},
      {"a zero byte ends the line", std::string("1 2\0 3\n4\n", 9), {1, 2, 4}},
      {"a zero byte first", std::string("\0 5\n6\n", 6), {6}},
      {"point forms", ".5 5. -.5 +5\n", {0.5f, 5, -0.5f, 5}},
      {"lone point", ". 1\n2\n", {2}},
      {"lone signs", "-\n+ 3\n- 3\n+-5\n4\n", {4}},
      {"exponents", "1e5 1E-3 5.e2 2e+2\n", {1e5f, 1e-3f, 5e2f, 2e2f}},
      {"an e without digits is eaten", "1e\n", {1}},
      {"an e then a blank", "1e 5\n", {1, 5}},
      {"an e and one sign are eaten", "1e+-5\n", {1, -5}},
      {"an e then text", "1ex 5\n2\n", {1, 2}},
      {"a second exponent begins nothing", "1e5e5\n7\n", {1e5f, 7}},
      {"rounding to single precision",
       "0.1 16777217 3.4028235e38\n",
       {0.1f, 16777216.0f, from_bits(0x7F7FFFFFu)}},
      {"out of range",
       "1e39 -1e39 1e-50 -1e-50\n",
       {inf, -inf, 0.0f, from_bits(0x80000000u)}},
      {"infinities and NaNs",
       "inf -INF Infinity nan -nan NaN\n",
       {inf, -inf, inf, from_bits(0x7FC00000u), from_bits(0xFFC00000u),
        from_bits(0x7FC00000u)}},
      {"a NaN payload is not read",
       "nan(123) 5\n6\n",
       {from_bits(0x7FC00000u), 6}},
      {"infinit is no number", "infinit 1\n2\n", {2}},
      {"hexadecimal", "0x1p3 -0x1.8 0x1e\n", {8, -1.5f, 30}},
      {"0x without digits", "0x 1\n2\n", {2}},
      {"a number split across two pieces", spaces_then_12, {1, 2}},
      {"a number ending a piece",
       std::string(line_piece - 2, ' ') + "12\n",
       {12}},
      {"a piece that ends before the newline",
       std::string(line_piece - 1, ' ') + "7\n8\n",
       {7, 8}},
      {"a point split from its digits",
       std::string(line_piece - 2, ' ') + "1.5\n",
       {1, 5}},
      {"an exponent split from its digits",
       std::string(line_piece - 2, ' ') + "1e5\n",
       {1, 5}},
      {"three pieces",
       std::string(2 * line_piece - 1, ' ') + "34 5\n",
       {3, 4, 5}},
      {"a zero byte ends only its piece",
       std::string("5\0", 2) + std::string(line_piece - 1, ' ') + "6\n",
       {5, 6}},
  };
  const std::string qel = path("t.qel");
  for (const bump_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<gtk_entry> entries =
        entries_of(static_cast<std::uint32_t>(c.values.size()));
    const std::string gtk_path = gtk("t.gtk", entries);
    const std::string bump_path = write_text("t.bump", c.text);
    expect_sealed(tessera({gtk_path, bump_path, qel}), qel, entry_keys(entries),
                  c.values);
  }
}

// Text that yields a different number of values than the table has entries.
TEST_F(e2e_test, WrongNumberOfValuesIsRefused) {
  struct count_case {
    const char* text;
    std::uint32_t entries;
  };
  const count_case cases[] = {
      {"1 2 3\n", 2},   {"1\n", 2},       {"5\n", 0},    {"", 1},
      {". - + x\n", 1}, {"1 2 x 3\n", 3}, {"1e 5\n", 1}, {"1 2\n", 3},
  };
  const std::string qel = path("t.qel");
  for (const count_case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " with " + std::to_string(c.entries) +
                 " entries");
    const std::string gtk_path = gtk("t.gtk", entries_of(c.entries));
    const std::string bump_path = write_text("t.bump", c.text);
    expect_failure(tessera({gtk_path, bump_path, qel}),
                   "Incorrect number of entries in " + bump_path + "\n");
    EXPECT_FALSE(exists(qel));
  }
}

// --------------------------------------------------------------- the paths

// Paths are data: a path holding printf directives comes out verbatim, in
// messages and when all three files carry such names.
TEST_F(e2e_test, PathsWithDirectivesArePrintedVerbatim) {
  const std::string gtk_path = gtk("%s%n.gtk", entries_of(1));
  const std::string bump_path = write_text("%n%s%d.bump", "1\n");
  const std::string qel = path("%x%n%s.qel");
  struct path_case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string none_gtk = path("%s%n-none.gtk");
  const std::string none_bump = path("%n%n-none.bump");
  const std::string short_gtk = write_file("%n%s-short.gtk", {1, 2, 3});
  const std::string seek_gtk = gtk_claiming("%s%s-seek.gtk", 2);
  const std::string many_gtk = gtk_claiming("%n%n-many.gtk", most_entries + 1);
  const std::string dir_bump = make_dir("%s%n-dir.bump");
  const std::string two_bump = write_text("%s%s-two.bump", "1 2\n");
  const std::string bad_qel = path("%n-none/%s.qel");
  const path_case cases[] = {
      {{none_gtk, bump_path, qel}, "Couldn't open " + none_gtk + "\n"},
      {{gtk_path, none_bump, qel}, "Couldn't open " + none_bump + "\n"},
      {{gtk_path, bump_path, bad_qel}, "Couldn't open " + bad_qel + "\n"},
      {{short_gtk, bump_path, qel}, "Couldn't read " + short_gtk + "\n"},
      {{gtk_path, dir_bump, qel}, "Couldn't read " + dir_bump + "\n"},
      {{seek_gtk, bump_path, qel}, "Couldn't seek in " + seek_gtk + "\n"},
      {{many_gtk, bump_path, qel}, "Too many entries in " + many_gtk + "\n"},
      {{gtk_path, two_bump, qel},
       "Incorrect number of entries in " + two_bump + "\n"},
  };
  for (const path_case& c : cases) {
    SCOPED_TRACE(c.message);
    expect_failure(tessera(c.args), c.message);
    EXPECT_FALSE(exists(qel));
  }
  expect_sealed(tessera({gtk_path, bump_path, qel}), qel,
                entry_keys(entries_of(1)), {1});
}

// --------------------------------------------------------------- the output

TEST_F(e2e_test, ExistingQelIsReplacedWhole) {
  const std::vector<gtk_entry> entries = entries_of(1);
  const std::string gtk_path = gtk("t.gtk", entries);
  const std::string bump_path = write_text("t.bump", "2.5\n");
  const std::string qel = old_file("t.qel", bytes(1000, 0xEE));
  expect_sealed(tessera({gtk_path, bump_path, qel}), qel, entry_keys(entries),
                {2.5f});
  EXPECT_EQ(fs::file_size(qel), 36u);
}

TEST_F(e2e_test, RunsAreRepeatableAndLeaveInputsAlone) {
  const std::vector<gtk_entry> entries = entries_of(9);
  const std::vector<float> values = values_of(9);
  const std::string gtk_path = old_file("t.gtk", make_gtk(entries));
  const std::string text = bump_text(values);
  const std::string bump_path =
      old_file("t.bump", bytes(text.begin(), text.end()));
  const file_state gtk_before = state_of(gtk_path);
  const file_state bump_before = state_of(bump_path);

  expect_sealed(tessera({gtk_path, bump_path, path("a.qel")}), path("a.qel"),
                entry_keys(entries), values);
  expect_sealed(tessera({gtk_path, bump_path, path("b.qel")}), path("b.qel"),
                entry_keys(entries), values);
  EXPECT_EQ(read_file(path("a.qel")), read_file(path("b.qel")));
  EXPECT_EQ(state_of(gtk_path), gtk_before);
  EXPECT_EQ(state_of(bump_path), bump_before);
}

// Changing one value leaves the keystream alone: only the value digest and
// that value's 4 bytes may change. Changing one entry key changes the key
// of the whole keystream.
TEST_F(e2e_test, WhatOneChangeReaches) {
  std::vector<gtk_entry> entries = entries_of(4);
  const std::string qel_a = path("a.qel");
  const std::string qel_b = path("b.qel");
  const std::string qel_c = path("c.qel");
  expect_sealed(
      tessera({gtk("a.gtk", entries), write_text("a.bump", "1 2 3 4"), qel_a}),
      qel_a, entry_keys(entries), {1, 2, 3, 4});
  expect_sealed(
      tessera({gtk("a.gtk", entries), write_text("b.bump", "1 2 9 4"), qel_b}),
      qel_b, entry_keys(entries), {1, 2, 9, 4});
  const bytes a = read_file(qel_a);
  const bytes b = read_file(qel_b);
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((i >= 16 && i < 32) || (i >= 40 && i < 44)) continue;
    EXPECT_EQ(a[i], b[i]) << "byte " << i;
  }
  entries[3].key ^= 1;
  expect_sealed(
      tessera({gtk("c.gtk", entries), write_text("a.bump", "1 2 3 4"), qel_c}),
      qel_c, entry_keys(entries), {1, 2, 3, 4});
  const bytes c = read_file(qel_c);
  std::size_t same = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] == c[i]) ++same;
  EXPECT_LT(same, a.size() / 2) << "a new entry key must change the keystream";
}

// --------------------------------------------------------- the shipped example

#ifdef TESSERA_EXAMPLE_GTK
TEST_F(e2e_test, ShippedExampleSeals) {
  const std::vector<gtk_entry> entries = example_entries();
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                          [](const gtk_entry& e) { return e.kind == 1; }));
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                          [](const gtk_entry& e) { return e.kind != 1; }));
  EXPECT_EQ(read_file(TESSERA_EXAMPLE_GTK), make_gtk(entries))
      << "the build wrote the example for the configured keys";
  const std::string qel = path("example.qel");
  expect_sealed(tessera({TESSERA_EXAMPLE_GTK, TESSERA_EXAMPLE_BUMP, qel}), qel,
                entry_keys(entries),
                {1.5f, -2.25f, 3e2f, 6.02e23f, 0.001f, -4.5e-3f, 7});
}
#endif

}  // namespace
