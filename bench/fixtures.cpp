#include "fixtures.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

std::vector<gtk_entry> bench_entries(std::size_t count) {
  std::mt19937 rng(4098);
  std::vector<gtk_entry> entries(count);
  for (std::size_t n = 0; n < count; ++n) {
    entries[n] = {static_cast<std::uint32_t>(n % 3),
                  static_cast<std::uint32_t>(rng())};
  }
  return entries;
}

std::vector<std::string> bench_numbers(std::size_t count) {
  std::mt19937 rng(1303);
  std::vector<std::string> numbers(count);
  char text[32];
  for (std::string& number : numbers) {
    const unsigned hundredths = static_cast<unsigned>(rng() % 100000);
    std::snprintf(text, sizeof text, "%s%u.%02u", rng() % 2 ? "-" : "",
                  hundredths / 100, hundredths % 100);
    number = text;
  }
  return numbers;
}

std::vector<std::string> printed_numbers(std::size_t count, double bound,
                                         const char* format) {
  std::mt19937 rng(2718);
  std::uniform_real_distribution<double> draw(-bound, bound);
  std::vector<std::string> numbers(count);
  char text[32];
  for (std::string& number : numbers) {
    const auto value = static_cast<float>(draw(rng));
    std::snprintf(text, sizeof text, format, static_cast<double>(value));
    number = text;
  }
  return numbers;
}

namespace {

std::string join(const std::vector<std::string>& numbers, char separator) {
  std::string text;
  for (const std::string& number : numbers) {
    text += number;
    text += separator;
  }
  if (!text.empty()) text.back() = '\n';
  return text;
}

}  // namespace

std::string bump_one_per_line(const std::vector<std::string>& numbers) {
  return join(numbers, '\n');
}

std::string bump_all_on_one_line(const std::vector<std::string>& numbers) {
  return join(numbers, ' ');
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void write_bytes(const std::string& path,
                 const std::vector<std::uint8_t>& bytes) {
  write_bytes(path, std::string(bytes.begin(), bytes.end()));
}
