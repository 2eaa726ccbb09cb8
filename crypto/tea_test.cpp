#include "tea.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <sstream>

#include "gtk_writer.h"
#include "hex.h"
#include "vectors.h"

namespace {

std::vector<std::uint32_t> words(const std::string& text) {
  std::vector<std::uint32_t> out;
  std::istringstream in(text);
  for (std::string word; std::getline(in, word, ',');) {
    out.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)));
  }
  return out;
}

tea_key key_of(const std::vector<std::uint32_t>& w) {
  return {{w[0], w[1], w[2], w[3]}};
}

// Single-block vectors (Bouncy Castle, TeaCrypt): decipher gives plain, and
// the test-side encipher gives cipher, so both directions are pinned.
TEST(Tea, PublishedBlockVectors) {
  int checked = 0;
  for (const vector_line& v : read_vectors("tea.txt")) {
    if (v.fields.count("plain") == 0) continue;
    SCOPED_TRACE("tea.txt line " + std::to_string(v.line_number));
    const tea_key key = key_of(words(v.fields.at("key")));
    const auto plain = words(v.fields.at("plain"));
    const auto cipher = words(v.fields.at("cipher"));
    const tea_block clear = tea_decipher({cipher[0], cipher[1]}, key);
    EXPECT_EQ(clear.y, plain[0]);
    EXPECT_EQ(clear.z, plain[1]);
    const tea_block sealed = tea_encipher({plain[0], plain[1]}, key);
    EXPECT_EQ(sealed.y, cipher[0]);
    EXPECT_EQ(sealed.z, cipher[1]);
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

// The designers' iterated table, walked back from step 64 by decipherment
// alone: every listed window must appear, and all words end as zero.
TEST(Tea, DesignersChainByDecipherment) {
  std::map<int, std::vector<std::uint32_t>> listed;
  for (const vector_line& v : read_vectors("tea.txt")) {
    if (v.fields.count("chain") != 0) {
      listed[std::stoi(v.fields.at("chain"))] = words(v.fields.at("window"));
    }
  }
  ASSERT_EQ(listed.count(64), 1u);
  std::vector<std::uint32_t> w = listed[64];
  for (int step = 64; step >= 1; --step) {
    if (listed.count(step) != 0) {
      EXPECT_EQ(w, listed[step]) << "step " << step;
    }
    const tea_block b =
        tea_decipher({w[0], w[1]}, key_of({w[2], w[3], w[4], w[5]}));
    w = {w[5], b.y, b.z, w[2], w[3], w[4]};
  }
  EXPECT_EQ(w, std::vector<std::uint32_t>(6, 0));
}

TEST(Tea, DecipherBlockUsesTheConfiguredKey) {
  std::mt19937 rng(32);
  for (int n = 0; n < 100; ++n) {
    const tea_block plain{static_cast<std::uint32_t>(rng()),
                          static_cast<std::uint32_t>(rng())};
    const tea_block back = decipher_block(tea_encipher(plain, record_key));
    EXPECT_EQ(back.y, plain.y);
    EXPECT_EQ(back.z, plain.z);
  }
}

TEST(Tea, RecordKeyWordsAreLittleEndianKeyBytes) {
  for (std::size_t k = 0; k < 4; ++k) {
    const std::uint32_t expected =
        std::uint32_t{record_key_bytes[4 * k]} |
        std::uint32_t{record_key_bytes[4 * k + 1]} << 8 |
        std::uint32_t{record_key_bytes[4 * k + 2]} << 16 |
        std::uint32_t{record_key_bytes[4 * k + 3]} << 24;
    EXPECT_EQ(record_key.k[k], expected) << "k" << k;
  }
}

// Encipher four blocks test-side, each with a known clear content, and check
// where every byte of every block lands in the clear record.
TEST(Tea, RecordInterleaveByPosition) {
  std::array<std::uint8_t, record_size> record{};
  std::uint8_t clear_blocks[record_blocks][tea_block_size];
  for (std::size_t i = 0; i < record_blocks; ++i) {
    for (std::size_t k = 0; k < tea_block_size; ++k) {
      clear_blocks[i][k] = static_cast<std::uint8_t>(0x10 * i + k);
    }
    const tea_block sealed = tea_encipher(
        {load32_le(clear_blocks[i]), load32_le(clear_blocks[i] + 4)},
        record_key);
    store32_le(record.data() + 8 * i, sealed.y);
    store32_le(record.data() + 8 * i + 4, sealed.z);
  }
  decipher_record(record.data());
  for (std::size_t k = 0; k < tea_block_size; ++k) {
    for (std::size_t i = 0; i < record_blocks; ++i) {
      EXPECT_EQ(record[4 * k + i], clear_blocks[i][k])
          << "clear byte " << 4 * k + i;
    }
  }
  // Word 5, the header's entry count, is byte 5 of each block: bits 8-15 of z.
  EXPECT_EQ(load32_le(record.data() + 20), 0x35251505u);
}

TEST(Tea, RecordRoundTripAndBlockIndependence) {
  std::mt19937 rng(4);
  for (int n = 0; n < 50; ++n) {
    clear_record clear;
    for (auto& w : clear) w = static_cast<std::uint32_t>(rng());
    auto sealed = encipher_record(clear);
    auto once = sealed;
    decipher_record(once.data());
    for (std::size_t k = 0; k < 8; ++k)
      EXPECT_EQ(load32_le(once.data() + 4 * k), clear[k]);

    // Changing block i changes only clear bytes i, i + 4, ..., i + 28.
    const std::size_t i = rng() % record_blocks;
    auto changed = sealed;
    changed[8 * i + rng() % 8] ^= 0x01;
    decipher_record(changed.data());
    for (std::size_t b = 0; b < record_size; ++b) {
      if (b % 4 != i) {
        EXPECT_EQ(changed[b], once[b]) << "byte " << b;
      }
    }
  }
}

}  // namespace
