#include "hex.h"

#include <stdexcept>

namespace {

int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("not a hex digit");
}

}  // namespace

std::vector<std::uint8_t> from_hex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length");
  std::vector<std::uint8_t> bytes(hex.size() / 2);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    bytes[n] = static_cast<std::uint8_t>(nibble(hex[2 * n]) << 4 |
                                         nibble(hex[2 * n + 1]));
  }
  return bytes;
}

std::string to_hex(const std::uint8_t* data, std::size_t size) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * size);
  for (std::size_t n = 0; n < size; ++n) {
    text += digits[data[n] >> 4];
    text += digits[data[n] & 15];
  }
  return text;
}
