#include "temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

void temp_dir_test::SetUp() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tessera-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
}

void temp_dir_test::TearDown() { std::filesystem::remove_all(dir_); }

std::string temp_dir_test::path(const std::string& name) const {
  return (dir_ / name).string();
}

std::string temp_dir_test::write_file(
    const std::string& name, const std::vector<std::uint8_t>& content) const {
  const std::string full = path(name);
  std::ofstream out(full, std::ios::binary);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + full);
  return full;
}

std::string temp_dir_test::write_text(const std::string& name,
                                      const std::string& text) const {
  return write_file(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> temp_dir_test::read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool temp_dir_test::exists(const std::string& path) {
  return std::filesystem::exists(path);
}
