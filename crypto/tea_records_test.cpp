// decipher_record and decipher_records, which decipher blocks side by side
// (portable and, on x86-64, AVX2 and AVX-512F), held against the scalar
// decipher_block one block after another and against the test-side
// encipher. Each form is its own test case; a form the processor lacks is
// skipped, saying so.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
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

struct form {
  const char* name;
  void (*decipher)(std::uint8_t*, std::size_t);
  bool (*usable)();
  const char* needs;  // what the processor must have
};

// So that a failure names the form rather than dumping its bytes.
void PrintTo(const form& f, std::ostream* out) { *out << f.name; }

bool always() { return true; }

const form forms[] = {
    {"dispatched", decipher_records, always, ""},
    {"portable", decipher_records_portable, always, ""},
#if TESSERA_TEA_X86
    {"avx2", decipher_records_avx2, tea_avx2_usable, "AVX2"},
    {"avx512", decipher_records_avx512, tea_avx512_usable, "AVX-512F"},
#endif
};

class TeaRecordsForm : public testing::TestWithParam<form> {
 protected:
  void SetUp() override {
    if (!GetParam().usable()) {
      GTEST_SKIP() << "this processor has no " << GetParam().needs
                   << ", so the " << GetParam().name << " form cannot run";
    }
  }
  void decipher(std::uint8_t* records, std::size_t count) const {
    GetParam().decipher(records, count);
  }
};

INSTANTIATE_TEST_SUITE_P(Forms, TeaRecordsForm, testing::ValuesIn(forms),
                         [](const auto& param_info) {
                           return param_info.param.name;
                         });

// Every count from 0 to 17: groups of two and four, every remainder after
// them, several groups in one call. The bytes around the records, before
// and after, are left as they were.
TEST_P(TeaRecordsForm, MatchesBlocksInTurn) {
  std::mt19937 rng(44);
  static constexpr std::size_t guard = 2 * record_size;
  static constexpr std::uint8_t guard_byte = 0xA5;
  // Laid out whole, then filled in: the records between guard bytes.
  const auto guarded = [](const bytes& middle) {
    bytes out(guard + middle.size() + guard, guard_byte);
    std::copy(middle.begin(), middle.end(),
              out.begin() + static_cast<std::ptrdiff_t>(guard));
    return out;
  };
  for (std::size_t count = 0; count <= 17; ++count) {
    for (int round = 0; round < 20; ++round) {
      const bytes records = random_records(count, rng);
      const bytes expected = guarded(in_turn(records));
      bytes buffer = guarded(records);
      decipher(buffer.data() + guard, count);
      ASSERT_EQ(buffer, expected) << count << " records, round " << round;
    }
  }
}

// The records sit right after an inaccessible page and right before one,
// so a form that reads or writes even one byte outside them (a full group
// loaded where only part of one is left, say) is stopped by a fault.
TEST_P(TeaRecordsForm, TouchesNothingOutsideTheRecords) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* mapped = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  auto* base = static_cast<std::uint8_t*>(mapped);
  ASSERT_EQ(mprotect(base, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(base + 2 * page, page, PROT_NONE), 0);
  std::uint8_t* const data = base + page;

  std::mt19937 rng(47);
  for (std::size_t count = 1; count <= 17; ++count) {
    SCOPED_TRACE(std::to_string(count) + " records");
    const bytes records = random_records(count, rng);
    const bytes expected = in_turn(records);
    for (std::uint8_t* at : {data, data + page - records.size()}) {
      std::copy(records.begin(), records.end(), at);
      decipher(at, count);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), at));
    }
  }
  munmap(mapped, 3 * page);
}

// A change in one block changes only that block's record, and in it only
// the bytes i, i + 4, ..., i + 28 of block i: no lane leaks into another,
// whichever register, chain or group the lane falls in.
TEST_P(TeaRecordsForm, LanesStayApart) {
  std::mt19937 rng(45);
  for (std::size_t count = 1; count <= 9; ++count) {
    const bytes base = random_records(count, rng);
    bytes clear = base;
    decipher(clear.data(), count);
    for (std::size_t lane = 0; lane < count * record_blocks; ++lane) {
      SCOPED_TRACE(std::to_string(count) + " records, lane " +
                   std::to_string(lane));
      bytes changed = base;
      changed[lane * tea_block_size + rng() % tea_block_size] ^=
          static_cast<std::uint8_t>(1u << (rng() % 8));
      decipher(changed.data(), count);
      const std::size_t record = lane / record_blocks;
      const std::size_t block = lane % record_blocks;
      bool lane_changed = false;
      for (std::size_t n = 0; n < clear.size(); ++n) {
        const bool in_lane =
            n / record_size == record && (n % record_size) % 4 == block;
        if (in_lane) {
          lane_changed = lane_changed || clear[n] != changed[n];
        } else {
          EXPECT_EQ(clear[n], changed[n]) << "byte " << n;
        }
      }
      EXPECT_TRUE(lane_changed);
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
