#include "fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

void remove_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(fuzz_dir(), ignored);
}

}  // namespace

const std::string& fuzz_dir() {
  static const std::string dir = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tessera-fuzz-XXXXXX")
            .string();
    if (mkdtemp(pattern.data()) == nullptr) fuzz_fail("mkdtemp failed");
    return pattern;
  }();
  static const bool cleanup_registered = std::atexit(remove_dir) == 0;
  (void)cleanup_registered;
  return dir;
}

void write_bytes(const std::string& path, const std::uint8_t* data,
                 std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const bool ok = file != nullptr &&
                  (size == 0 || std::fwrite(data, 1, size, file) == size);
  if (file == nullptr || std::fclose(file) != 0 || !ok) {
    fuzz_fail("cannot write", path);
  }
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fuzz_fail("cannot read", path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool file_exists(const std::string& path) {
  return std::filesystem::exists(path);
}

void begin_capture() {
  static const bool redirected =
      std::freopen((fuzz_dir() + "/stdout").c_str(), "w+", stdout) != nullptr;
  if (!redirected) fuzz_fail("cannot redirect standard output");
  if (std::fflush(stdout) != 0) fuzz_fail("cannot flush standard output");
  std::rewind(stdout);
}

std::string end_capture() {
  if (std::fflush(stdout) != 0) fuzz_fail("cannot flush standard output");
  const long size = std::ftell(stdout);
  if (size < 0) fuzz_fail("ftell on standard output failed");
  std::string text(static_cast<std::size_t>(size), '\0');
  if (size > 0 && pread(fileno(stdout), text.data(), text.size(), 0) != size) {
    fuzz_fail("cannot read back standard output");
  }
  return text;
}

std::string message_for(const char* format, const std::string& path) {
  // Every format holds one %s at most; the path is put in as data.
  std::string text = format;
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

void fuzz_fail(const char* what, const std::string& detail) {
  // Nothing more can be done if this fails too; abort says enough.
  static_cast<void>(std::fprintf(stderr, "harness assertion failed: %s %s\n",
                                 what, detail.c_str()));
  std::abort();
}
