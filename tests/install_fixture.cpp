// Writes a small gtk file and its bump file under the configured keys, for
// the install and package tests to run the installed programs on when the
// build has no example of its own.
//   install_fixture gtk_path bump_path

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "gtk_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("Usage: install_fixture gtk_path bump_path\n", stderr);
    return 2;
  }
  // Entries of every kind that picks a different word.
  const std::vector<gtk_entry> entries = {{0, 0x0A0B0C0D}, {1, 0x1A1B1C1D},
                                          {2, 0x2A2B2C2D}, {1, 0x3A3B3C3D},
                                          {9, 0x4A4B4C4D}, {0, 0x5A5B5C5D}};
  const std::vector<std::uint8_t> gtk = make_gtk(entries);
  std::ofstream gtk_file(argv[1], std::ios::binary);
  gtk_file.write(reinterpret_cast<const char*>(gtk.data()),
                 static_cast<std::streamsize>(gtk.size()));
  std::ofstream bump_file(argv[2]);
  bump_file << "1.5 -2\n0.1\n-0 1e-40\ninf\n";
  gtk_file.close();
  bump_file.close();
  return gtk_file && bump_file ? 0 : 1;
}
