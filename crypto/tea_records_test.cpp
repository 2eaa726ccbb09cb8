// decipher_record and decipher_records, which decipher blocks side by side
// (portable and, on x86-64, AVX2), held against the scalar decipher_block
// one block after another and against the test-side encipher.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "crypto/tea.h"
#include "gtk_writer.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// The plain form: the four blocks in turn, then the interleave undone.
bytes in_turn(const bytes& records) {
  bytes out(records.size());
  for (std::size_t r = 0; r < records.size(); r += record_size) {
    for (std::size_t i = 0; i < record_blocks; ++i) {
      const std::uint8_t* in = records.data() + r + i * tea_block_size;
      const tea_block b = decipher_block({load32_le(in), load32_le(in + 4)});
      std::uint8_t clear[tea_block_size];
      store32_le(clear, b.y);
      store32_le(clear + 4, b.z);
      for (std::size_t k = 0; k < tea_block_size; ++k) {
        out[r + 4 * k + i] = clear[k];
      }
    }
  }
  return out;
}

bytes random_records(std::size_t count, std::mt19937& rng) {
  bytes records(count * record_size);
  for (auto& b : records) b = static_cast<std::uint8_t>(rng());
  return records;
}

using decipher_many = void (*)(std::uint8_t*, std::size_t);

struct form {
  const char* name;
  decipher_many decipher;
  bool usable;
};

std::vector<form> forms() {
  std::vector<form> all = {{"dispatched", decipher_records, true},
                           {"portable", decipher_records_portable, true}};
#if TESSERA_TEA_AVX2
  all.push_back({"avx2", decipher_records_avx2, tea_avx2_usable()});
#endif
  return all;
}

// Every count from 0 to 9, so both the pairs and a last odd record are met,
// and records that sit beside each other stay independent.
TEST(TeaRecords, EachFormMatchesBlocksInTurn) {
  std::mt19937 rng(44);
  for (const form& f : forms()) {
    SCOPED_TRACE(f.name);
    if (!f.usable) {
      std::printf("the %s form is not usable on this processor\n", f.name);
      continue;
    }
    for (std::size_t count = 0; count < 10; ++count) {
      for (int round = 0; round < 20; ++round) {
        bytes records = random_records(count, rng);
        const bytes expected = in_turn(records);
        f.decipher(records.data(), count);
        ASSERT_EQ(records, expected) << count << " records";
      }
    }
  }
}

// A record whose blocks differ only in one lane changes only that lane's
// bytes, i, i + 4, ..., i + 28: no lane leaks into another.
TEST(TeaRecords, LanesStayApart) {
  std::mt19937 rng(45);
  for (const form& f : forms()) {
    if (!f.usable) continue;
    SCOPED_TRACE(f.name);
    bytes base = random_records(2, rng);
    for (std::size_t lane = 0; lane < 2 * record_blocks; ++lane) {
      bytes changed = base;
      changed[lane * tea_block_size] ^= 0x01;
      bytes a = base;
      f.decipher(a.data(), 2);
      f.decipher(changed.data(), 2);
      const std::size_t record = lane / record_blocks;
      const std::size_t block = lane % record_blocks;
      for (std::size_t n = 0; n < a.size(); ++n) {
        const bool may_differ =
            n / record_size == record && (n % record_size) % 4 == block;
        if (!may_differ) {
          EXPECT_EQ(a[n], changed[n]) << "byte " << n;
        }
      }
    }
  }
}

// Records made by the test-side writer come back clear, one call a record.
TEST(TeaRecords, DecipherRecordInvertsTheWriter) {
  std::mt19937 rng(46);
  for (int round = 0; round < 100; ++round) {
    clear_record clear;
    for (auto& w : clear) w = static_cast<std::uint32_t>(rng());
    auto record = encipher_record(clear);
    decipher_record(record.data());
    for (std::size_t k = 0; k < clear.size(); ++k) {
      EXPECT_EQ(load32_le(record.data() + 4 * k), clear[k]) << "word " << k;
    }
  }
}

}  // namespace
