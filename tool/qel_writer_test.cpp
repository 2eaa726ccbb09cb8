#include "qel_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "oracle.h"
#include "storage.h"
#include "temp_dir.h"
#include "tessera_keys.h"

namespace {

class QelWriter : public temp_dir_test {
 protected:
  // Seals values for a table with these entry keys, as a run would.
  bool write(const std::string& file, const std::vector<std::uint32_t>& keys,
             const std::vector<float>& values) {
    const bytes entry_digest = openssl_md5(words_le(keys));
    const bytes value_digest = openssl_md5(floats_le(values));
    std::uint8_t sealing_key[32];
    std::memcpy(sealing_key, key_prefix, 16);
    std::memcpy(sealing_key + 16, entry_digest.data(), 16);
    std::uint8_t table[value_table_size] = {};
    const bytes value_bytes = floats_le(values);
    if (!value_bytes.empty()) {
      std::memcpy(table, value_bytes.data(), value_bytes.size());
    }

    testing::internal::CaptureStdout();
    const bool ok =
        write_qel_file(file.c_str(), sealing_key, value_digest.data(), table,
                       static_cast<std::uint32_t>(values.size()));
    out_ = testing::internal::GetCapturedStdout();
    return ok;
  }

  std::string out_;
};

TEST_F(QelWriter, MatchesTheModelForEveryTableSize) {
  std::mt19937 rng(14);
  for (std::size_t n : {0u, 1u, 3u, 64u, 4098u}) {
    SCOPED_TRACE("entries " + std::to_string(n));
    std::vector<std::uint32_t> keys(n);
    std::vector<float> values(n);
    for (std::size_t i = 0; i < n; ++i) {
      keys[i] = static_cast<std::uint32_t>(rng());
      values[i] = static_cast<float>(rng()) / 1000.0f - 2e6f;
    }
    const std::string file = path("out.qel");
    ASSERT_TRUE(write(file, keys, values));
    EXPECT_EQ(out_, "");
    const bytes written = read_file(file);
    ASSERT_EQ(written.size(), 32 + 4 * n);
    EXPECT_EQ(written, model_qel(keys, values));

    // The first 16 deciphered bytes are the key's own second half.
    const bytes payload = open_qel(keys, written);
    EXPECT_EQ(bytes(payload.begin(), payload.begin() + 16),
              openssl_md5(words_le(keys)));
  }
}

TEST_F(QelWriter, ReplacesALongerFileWhole) {
  const std::string file = write_file("out.qel", bytes(1000, 0x77));
  ASSERT_TRUE(write(file, {1, 2}, {0.5f, -1.0f}));
  EXPECT_EQ(read_file(file), model_qel({1, 2}, {0.5f, -1.0f}));
}

// A full device may refuse the bytes only when the buffer is flushed; with
// many values it refuses a write itself. Either way it is a failed write.
TEST_F(QelWriter, FullDeviceIsAFailedWrite) {
  for (std::size_t n : {0u, 4098u}) {
    SCOPED_TRACE("entries " + std::to_string(n));
    EXPECT_FALSE(write("/dev/full", std::vector<std::uint32_t>(n, 9),
                       std::vector<float>(n, 1.0f)));
    EXPECT_EQ(out_, "Couldn't write to /dev/full\n");
  }
}

TEST_F(QelWriter, UnopenablePath) {
  for (const std::string& file : {dir_.string(), path("no/such/dir.qel")}) {
    EXPECT_FALSE(write(file, {}, {}));
    EXPECT_EQ(out_, "Couldn't open " + file + "\n");
  }
}

}  // namespace
