// Hex text to bytes and back, for test tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::vector<std::uint8_t> from_hex(std::string_view hex);
std::string to_hex(const std::uint8_t* data, std::size_t size);
inline std::string to_hex(const std::vector<std::uint8_t>& bytes) {
  return to_hex(bytes.data(), bytes.size());
}
