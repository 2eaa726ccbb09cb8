// Writes the shipped example's gtk file for the record_key this build was
// configured with:  tessera_make_example OUTPUT
#include <cstdio>

#include "example_entries.h"
#include "gtk_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tessera_make_example OUTPUT\n", stderr);
    return 1;
  }
  const std::vector<std::uint8_t> file = make_gtk(example_entries());
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const bool written =
      std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
