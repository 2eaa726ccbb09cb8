#include "rc4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "hex.h"
#include "oracle.h"
#include "vectors.h"

namespace {

bytes keystream(const bytes& key, std::size_t size) {
  rc4_state st;
  rc4_setup(st, key.data());
  bytes zeros(size, 0);
  bytes out(size);
  rc4_crypt(st, out.data(), size, zeros.data());
  return out;
}

// RFC 6229 section 2, the two 256-bit keys at every listed offset.
TEST(Rc4, Rfc6229Keystream) {
  for (const vector_line& v : read_vectors("rc4.txt")) {
    SCOPED_TRACE("rc4.txt line " + std::to_string(v.line_number));
    const bytes key = from_hex(v.fields.at("key"));
    ASSERT_EQ(key.size(), rc4_key_size);
    const std::size_t offset = std::stoul(v.fields.at("offset"));
    const bytes stream = keystream(key, offset + 16);
    EXPECT_EQ(to_hex(stream.data() + offset, 16), v.fields.at("out"));
  }
}

// Random keys and lengths, fed in random pieces through one state, against
// OpenSSL with the key length set to all 32 bytes.
TEST(Rc4, AnySplitMatchesOpenssl) {
  std::mt19937 rng(6229);
  for (int round = 0; round < 200; ++round) {
    bytes key(rc4_key_size);
    for (auto& b : key) b = static_cast<std::uint8_t>(rng());
    bytes input(rng() % 20000);
    for (auto& b : input) b = static_cast<std::uint8_t>(rng());

    rc4_state st;
    rc4_setup(st, key.data());
    bytes out(input.size());
    for (std::size_t done = 0; done < input.size();) {
      const std::size_t piece =
          std::min<std::size_t>(input.size() - done, rng() % 700);
      rc4_crypt(st, out.data() + done, piece, input.data() + done);
      done += piece;
    }
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(to_hex(out), to_hex(openssl_rc4(key.data(), input)));
  }
}

TEST(Rc4, InPlaceEqualsOutOfPlaceAndRestores) {
  const bytes key = from_hex(
      "1ada31d5cf688221c109163908ebe51debb46227c6cc8b37641910833222772a");
  bytes text(132);
  for (std::size_t n = 0; n < text.size(); ++n)
    text[n] = static_cast<std::uint8_t>(n * 7);

  rc4_state a;
  rc4_state b;
  rc4_setup(a, key.data());
  rc4_setup(b, key.data());
  bytes out(text.size());
  rc4_crypt(a, out.data(), text.size(), text.data());
  bytes in_place = text;
  rc4_crypt(b, in_place.data(), 16, in_place.data());
  rc4_crypt(b, in_place.data() + 16, 16, in_place.data() + 16);
  rc4_crypt(b, in_place.data() + 32, 100, in_place.data() + 32);
  EXPECT_EQ(in_place, out);

  rc4_setup(a, key.data());
  rc4_crypt(a, out.data(), out.size(), out.data());
  EXPECT_EQ(out, text);
}

TEST(Rc4, ZeroLengthChangesNothing) {
  const bytes key(rc4_key_size, 0x42);
  rc4_state st;
  rc4_setup(st, key.data());
  const rc4_state before = st;
  rc4_crypt(st, nullptr, 0, nullptr);
  EXPECT_EQ(0, std::memcmp(&st, &before, sizeof st));
  EXPECT_EQ(to_hex(keystream(key, 8)), [&] {
    bytes out(8);
    const bytes zeros(8, 0);
    rc4_crypt(st, out.data(), 8, zeros.data());
    return to_hex(out);
  }());
}

}  // namespace
