#include "gtk_failures.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

#include "tool/storage.h"

namespace {

std::string write(const std::filesystem::path& file,
                  const std::vector<std::uint8_t>& content) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return file.string();
}

gtk_layout counting(std::uint32_t count) {
  gtk_layout layout;
  layout.header_count_set = true;
  layout.header_count = count;
  return layout;
}

}  // namespace

std::vector<gtk_failure> write_gtk_failures(
    const std::filesystem::path& dir, const std::vector<gtk_entry>& entries) {
  const std::vector<std::uint8_t> whole = make_gtk(entries);
  const auto one_slot_more = static_cast<std::uint32_t>(entries.size() + 1);
  constexpr auto too_many = static_cast<std::uint32_t>(value_capacity + 1);
  return {
      {"missing", (dir / "missing.gtk").string(), "Couldn't open %s\n"},
      {"a missing path that looks like a format",
       (dir / "100%s%n%d.gtk").string(), "Couldn't open %s\n"},
      {"empty", write(dir / "empty.gtk", {}), "Couldn't read %s\n"},
      {"39 bytes",
       write(dir / "short.gtk", {whole.begin(), whole.begin() + 39}),
       "Couldn't read %s\n"},
      {"a directory", dir.string(), "Couldn't read %s\n"},
      {"more entries than the file holds",
       write(dir / "beyond.gtk", make_gtk(entries, counting(one_slot_more))),
       "Couldn't seek in %s\n"},
      {"4,099 entries",
       write(dir / "too-many.gtk", make_gtk(entries, counting(too_many))),
       "Too many entries in %s\n"},
      {"0xFFFFFFFF entries",
       write(dir / "huge.gtk", make_gtk(entries, counting(0xFFFFFFFFu))),
       "Too many entries in %s\n"},
  };
}

std::string with_path(const char* format, const std::string& path) {
  std::string text = format;
  return text.replace(text.find("%s"), 2, path);
}
