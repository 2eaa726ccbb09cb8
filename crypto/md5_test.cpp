#include "md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "hex.h"
#include "oracle.h"
#include "vectors.h"

namespace {

std::string md5_hex(const std::uint8_t* data, std::size_t size) {
  md5_context ctx;
  md5_init(ctx);
  md5_update(ctx, data, size);
  std::uint8_t digest[md5_digest_size];
  md5_final(digest, ctx);
  return to_hex(digest, sizeof digest);
}

// RFC 1321 appendix A.5 and the padding boundaries, from tests/vectors.
TEST(Md5, PublishedVectors) {
  for (const vector_line& v : read_vectors("md5.txt")) {
    SCOPED_TRACE("md5.txt line " + std::to_string(v.line_number));
    const auto message = from_hex(v.fields.at("in"));
    ASSERT_EQ(message.size(), std::stoul(v.fields.at("len")));
    EXPECT_EQ(md5_hex(message.data(), message.size()), v.fields.at("out"));
  }
}

TEST(Md5, EmptyMessageWithNullPointer) {
  EXPECT_EQ(md5_hex(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
}

// Random lengths, fed in random pieces, against OpenSSL's one-shot digest.
TEST(Md5, AnySplitMatchesOpenssl) {
  std::mt19937 rng(1321);
  for (int round = 0; round < 400; ++round) {
    const std::size_t size = rng() % (round < 200 ? 300 : 40000);
    bytes message(size);
    for (auto& b : message) b = static_cast<std::uint8_t>(rng());

    md5_context ctx;
    std::memset(&ctx, 0xEE, sizeof ctx);  // set-up must not rely on zeroes
    md5_init(ctx);
    for (std::size_t fed = 0; fed < size;) {
      const std::size_t piece = std::min<std::size_t>(size - fed, rng() % 150);
      md5_update(ctx, message.data() + fed, piece);
      fed += piece;
    }
    std::uint8_t digest[md5_digest_size];
    md5_final(digest, ctx);
    SCOPED_TRACE("size " + std::to_string(size));
    EXPECT_EQ(to_hex(digest, sizeof digest), to_hex(openssl_md5(message)));
  }
}

TEST(Md5, FinalWipesTheContext) {
  md5_context ctx;
  md5_init(ctx);
  const std::uint8_t text[] = "wipe me";
  md5_update(ctx, text, sizeof text);
  std::uint8_t digest[md5_digest_size];
  md5_final(digest, ctx);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&ctx);
  for (std::size_t n = 0; n < sizeof ctx; ++n)
    EXPECT_EQ(raw[n], 0) << "byte " << n;
}

// The bit count is 64 bits wide: a carry out of the low word must reach the
// high word. Feeding 2^29 bytes moves exactly 2^32 bits.
TEST(Md5, BitCountCarriesIntoHighWord) {
  md5_context ctx;
  md5_init(ctx);
  std::memset(ctx.buffer, 0, sizeof ctx.buffer);
  ctx.count[0] = 0xFFFFFFF8u;  // one byte short of a carry
  const std::uint8_t one = 0;
  md5_update(ctx, &one, 1);
  EXPECT_EQ(ctx.count[0], 0u);
  EXPECT_EQ(ctx.count[1], 1u);
}

}  // namespace
