#include "gtk_writer.h"

#include <algorithm>

#include "crypto/bytes.h"

namespace {

constexpr std::uint32_t delta = 0x9E3779B9;

}  // namespace

tea_block tea_encipher(tea_block block, const tea_key& key) {
  std::uint32_t y = block.y;
  std::uint32_t z = block.z;
  std::uint32_t sum = 0;
  for (int n = 0; n < 32; ++n) {
    sum += delta;
    y += ((z << 4) + key.k[0]) ^ (z + sum) ^ ((z >> 5) + key.k[1]);
    z += ((y << 4) + key.k[2]) ^ (y + sum) ^ ((y >> 5) + key.k[3]);
  }
  return {y, z};
}

std::array<std::uint8_t, record_size> encipher_record(const clear_record& clear,
                                                      const tea_key& key) {
  std::uint8_t clear_bytes[record_size];
  for (std::size_t k = 0; k < 8; ++k) store32_le(clear_bytes + 4 * k, clear[k]);

  std::array<std::uint8_t, record_size> out{};
  for (std::size_t i = 0; i < 4; ++i) {
    std::uint8_t block[8];
    for (std::size_t k = 0; k < 8; ++k) block[k] = clear_bytes[4 * k + i];
    const tea_block b =
        tea_encipher({load32_le(block), load32_le(block + 4)}, key);
    store32_le(out.data() + 8 * i, b.y);
    store32_le(out.data() + 8 * i + 4, b.z);
  }
  return out;
}

clear_record entry_record(const gtk_entry& entry) {
  const std::uint32_t decoy = ~entry.key ^ 0x5A5A5A5Au;
  clear_record r{};
  r[0] = entry.kind;
  r[1] = entry.kind == 1 ? decoy : entry.key;
  r[2] = 0x22222222u ^ entry.key;
  r[3] = entry.kind == 1 ? entry.key : decoy;
  for (std::size_t k = 4; k < 8; ++k) {
    r[k] = static_cast<std::uint32_t>(0x01010101u * k) ^ entry.key;
  }
  return r;
}

std::vector<std::uint8_t> make_gtk(const std::vector<gtk_entry>& entries,
                                   const gtk_layout& layout) {
  constexpr std::size_t leading = 8;
  constexpr std::size_t slot = 2 * record_size;  // record, then unread bytes
  const std::size_t table = leading + record_size + layout.gap;
  // Laid out whole and filled in place: the filler stays wherever no record
  // goes.
  std::vector<std::uint8_t> file(table + entries.size() * slot, layout.filler);

  clear_record header{};
  for (std::size_t k = 0; k < 8; ++k) {
    header[k] = 0x0BADF00Du + static_cast<std::uint32_t>(k);
  }
  header[5] = layout.header_count_set
                  ? layout.header_count
                  : static_cast<std::uint32_t>(entries.size());
  const auto head = encipher_record(header);
  std::copy(head.begin(), head.end(), file.begin() + leading);

  for (std::size_t n = 0; n < entries.size(); ++n) {
    const auto record = encipher_record(entry_record(entries[n]));
    std::copy(record.begin(), record.end(),
              file.begin() + static_cast<std::ptrdiff_t>(table + n * slot));
  }
  return file;
}

std::vector<std::uint32_t> entry_keys(const std::vector<gtk_entry>& entries) {
  std::vector<std::uint32_t> keys;
  keys.reserve(entries.size());
  for (const gtk_entry& entry : entries) keys.push_back(entry.key);
  return keys;
}
