// Writes the seed corpus of the fuzz harnesses: small valid and faulty gtk
// files made with the test-side gtk writer under the configured record_key,
// bump files with the tricky number forms, and pairs of both for whole runs.
//   make_seeds OUT_DIR  (writes OUT_DIR/gtk_reader, bump_parser and run)
// fuzz/make-corpus runs it to refresh the committed corpus.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "crypto/bytes.h"
#include "gtk_writer.h"
#include "tool/gtk_reader.h"

namespace {

using bytes = std::vector<std::uint8_t>;

struct seed_writer {
  std::filesystem::path dir;
  int next = 0;

  explicit seed_writer(const std::filesystem::path& path) : dir(path) {
    std::filesystem::create_directories(dir);
  }
  void write(const std::string& label, const bytes& content) {
    const std::string number = std::to_string(next++);
    const std::string name =
        std::string(2 - std::min<std::size_t>(2, number.size()), '0') + number +
        "-" + label;
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write seed " + label);
  }
};

std::vector<gtk_entry> entries(std::uint32_t count) {
  std::vector<gtk_entry> list;
  for (std::uint32_t n = 0; n < count; ++n) {
    // Kinds 0, 1 and 2 and one other value, so both key words are used.
    constexpr std::uint32_t kinds[] = {0, 1, 2, 7};
    list.push_back({kinds[n % 4], 0x10203040u * (n + 1) ^ 0x9E3779B9u});
  }
  return list;
}

bytes text(const std::string& s) { return {s.begin(), s.end()}; }

bytes with_count(std::uint32_t count, const bytes& file) {
  bytes out = {static_cast<std::uint8_t>(count),
               static_cast<std::uint8_t>(count >> 8)};
  out.insert(out.end(), file.begin(), file.end());
  return out;
}

bytes pair(const bytes& gtk, const bytes& bump) {
  bytes out(4);
  store32_le(out.data(), static_cast<std::uint32_t>(gtk.size()));
  out.insert(out.end(), gtk.begin(), gtk.end());
  out.insert(out.end(), bump.begin(), bump.end());
  return out;
}

gtk_layout counted(std::uint32_t count) {
  gtk_layout layout;
  layout.header_count_set = true;
  layout.header_count = count;
  return layout;
}

std::string values(std::uint32_t count) {
  std::string s;
  for (std::uint32_t n = 0; n < count; ++n) {
    s += std::to_string(static_cast<int>(n) - 3) + (n % 3 == 2 ? ".25\n" : " ");
  }
  return s;
}

void write_seeds(const std::filesystem::path& out) {
  seed_writer gtk(out / "gtk_reader");
  const bytes header_only = make_gtk({});
  gtk.write("empty", {});
  gtk.write("short-header", bytes(header_only.begin(), header_only.end() - 1));
  gtk.write("no-entries", header_only);
  for (std::uint32_t n : {1u, 2u, 5u, 17u}) {
    gtk.write("entries-" + std::to_string(n), make_gtk(entries(n)));
  }
  gtk_layout gap;
  gap.gap = 100;
  gap.filler = 0x00;
  gtk.write("gap", make_gtk(entries(3), gap));
  gtk.write("table-longer-than-file", make_gtk(entries(1), counted(2)));
  gtk.write("cap", make_gtk(entries(2), counted(4098)));
  gtk.write("over-cap", make_gtk(entries(2), counted(4099)));
  // 64 bytes holding one slot that is also the leading bytes and header.
  gtk_layout overlap = counted(1);
  overlap.gap = slot_size - gtk_leading_size - record_size;
  gtk.write("table-overlaps-header", make_gtk({}, overlap));
  gtk.write("huge-count", make_gtk(entries(1), counted(0xFFFFFFFFu)));

  seed_writer bump(out / "bump_parser");
  bump.write("two-lines", with_count(3, text("1 2\n3\n")));
  bump.write("skip-after-text", with_count(3, text("1 2 x 3\n4\n")));
  bump.write("text-first", with_count(0, text("x 1\n")));
  bump.write("empty", with_count(0, {}));
  bump.write("too-many", with_count(2, text("1 2 3\n")));
  bump.write("too-few", with_count(2, text("1\n")));
  bump.write("adjacent", with_count(4, text("1-2 1.5.5\n")));
  bump.write("crlf", with_count(3, text(" .5\r\n5.\r\n\r\n\t-0\r\n")));
  bump.write("forms", with_count(6, text("1e5 1e 1e+ inf nan 0x1p3\n")));
  bump.write("range", with_count(3, text("3.5e38 1e-46 1.17549435e-38\n")));
  bump.write("lone", with_count(0, text(". + - e\n")));
  bytes zero = text("1 2\n");
  zero.insert(zero.begin() + 2, std::uint8_t{0});
  bump.write("zero-byte", with_count(1, zero));
  // A number across the end of a 32,767-character piece reads as two.
  std::string straddle(32765, ' ');
  straddle += "123\n";
  bump.write("straddle", with_count(2, text(straddle)));
  bump.write("many-lines", with_count(40, text(values(40))));

  seed_writer run(out / "run");
  run.write("nothing", pair(make_gtk({}), {}));
  run.write("three", pair(make_gtk(entries(3)), text("1 -2.5 3e2\n")));
  run.write("wrong-count", pair(make_gtk(entries(3)), text("1 2\n")));
  run.write("kinds", pair(make_gtk(entries(8)), text(values(8))));
  run.write("short-gtk", pair(bytes(header_only.begin(), header_only.end() - 9),
                              text("1\n")));
  run.write("over-cap", pair(make_gtk(entries(1), counted(4099)), text("1\n")));
  run.write("seek", pair(make_gtk(entries(1), counted(3)), text("1 2 3\n")));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds OUT_DIR\n";
    return 2;
  }
  try {
    write_seeds(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "make_seeds: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
