#include "md5.h"

#include <cstring>

#include "bytes.h"

namespace {

constexpr std::uint32_t rotl(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

// The auxiliary functions of RFC 1321, section 3.4; G, (x & z) | (y & ~z),
// is folded into step_g below.
constexpr std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return (x & y) | (~x & z);
}
constexpr std::uint32_t h(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return x ^ y ^ z;
}
constexpr std::uint32_t i(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return y ^ (x | ~z);
}

template <std::uint32_t (*fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
constexpr void step(std::uint32_t& a, std::uint32_t b, std::uint32_t c,
                    std::uint32_t d, std::uint32_t x, int s, std::uint32_t t) {
  a = b + rotl(a + fn(b, c, d) + x + t, s);
}

// Round 2's step with G split in two: its halves (b & d) and (c & ~d) share
// no bit, so they may be added one at a time, and c & ~d, which does not
// wait for b (the word just computed), is added with the word and the
// constant ahead of it.
constexpr void step_g(std::uint32_t& a, std::uint32_t b, std::uint32_t c,
                      std::uint32_t d, std::uint32_t x, int s,
                      std::uint32_t t) {
  a += x + t + (c & ~d);
  a += b & d;
  a = b + rotl(a, s);
}

}  // namespace

void md5_init(md5_context& ctx) {
  ctx.state[0] = 0x67452301;
  ctx.state[1] = 0xEFCDAB89;
  ctx.state[2] = 0x98BADCFE;
  ctx.state[3] = 0x10325476;
  ctx.count[0] = 0;
  ctx.count[1] = 0;
}

void md5_update(md5_context& ctx, const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::size_t waiting = (ctx.count[0] >> 3) & (md5_block_size - 1);

  const auto bits_low = static_cast<std::uint32_t>(size << 3);
  ctx.count[0] += bits_low;
  if (ctx.count[0] < bits_low) ++ctx.count[1];
  ctx.count[1] += static_cast<std::uint32_t>(size >> 29);

  const std::size_t room = md5_block_size - waiting;
  if (size >= room) {
    std::memcpy(ctx.buffer + waiting, data, room);
    md5_transform(ctx.state, ctx.buffer);
    std::size_t used = room;
    for (; used + md5_block_size <= size; used += md5_block_size) {
      md5_transform(ctx.state, data + used);
    }
    std::memcpy(ctx.buffer, data + used, size - used);
  } else {
    std::memcpy(ctx.buffer + waiting, data, size);
  }
}

void md5_final(std::uint8_t* digest, md5_context& ctx) {
  std::uint8_t bits[8];
  store32_le(bits, ctx.count[0]);
  store32_le(bits + 4, ctx.count[1]);

  // 0x80 then zeros, so that 56 bytes wait before the bit count.
  static constexpr std::uint8_t padding[md5_block_size] = {0x80};
  const std::size_t waiting = (ctx.count[0] >> 3) & (md5_block_size - 1);
  const std::size_t pad = waiting < 56 ? 56 - waiting : 120 - waiting;
  md5_update(ctx, padding, pad);
  md5_update(ctx, bits, sizeof bits);

  for (std::size_t n = 0; n < 4; ++n) store32_le(digest + 4 * n, ctx.state[n]);
  wipe_bytes(&ctx, sizeof ctx);
}

void md5_transform(std::uint32_t* state, const std::uint8_t* block) {
  std::uint32_t x[16];
  for (std::size_t n = 0; n < 16; ++n) x[n] = load32_le(block + 4 * n);

  std::uint32_t a = state[0];
  std::uint32_t b = state[1];
  std::uint32_t c = state[2];
  std::uint32_t d = state[3];

  // Round 1 (RFC 1321, section 3.4, with its constants T[1..64]).
  step<f>(a, b, c, d, x[0], 7, 0xd76aa478);
  step<f>(d, a, b, c, x[1], 12, 0xe8c7b756);
  step<f>(c, d, a, b, x[2], 17, 0x242070db);
  step<f>(b, c, d, a, x[3], 22, 0xc1bdceee);
  step<f>(a, b, c, d, x[4], 7, 0xf57c0faf);
  step<f>(d, a, b, c, x[5], 12, 0x4787c62a);
  step<f>(c, d, a, b, x[6], 17, 0xa8304613);
  step<f>(b, c, d, a, x[7], 22, 0xfd469501);
  step<f>(a, b, c, d, x[8], 7, 0x698098d8);
  step<f>(d, a, b, c, x[9], 12, 0x8b44f7af);
  step<f>(c, d, a, b, x[10], 17, 0xffff5bb1);
  step<f>(b, c, d, a, x[11], 22, 0x895cd7be);
  step<f>(a, b, c, d, x[12], 7, 0x6b901122);
  step<f>(d, a, b, c, x[13], 12, 0xfd987193);
  step<f>(c, d, a, b, x[14], 17, 0xa679438e);
  step<f>(b, c, d, a, x[15], 22, 0x49b40821);

  // Round 2.
  step_g(a, b, c, d, x[1], 5, 0xf61e2562);
  step_g(d, a, b, c, x[6], 9, 0xc040b340);
  step_g(c, d, a, b, x[11], 14, 0x265e5a51);
  step_g(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  step_g(a, b, c, d, x[5], 5, 0xd62f105d);
  step_g(d, a, b, c, x[10], 9, 0x02441453);
  step_g(c, d, a, b, x[15], 14, 0xd8a1e681);
  step_g(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  step_g(a, b, c, d, x[9], 5, 0x21e1cde6);
  step_g(d, a, b, c, x[14], 9, 0xc33707d6);
  step_g(c, d, a, b, x[3], 14, 0xf4d50d87);
  step_g(b, c, d, a, x[8], 20, 0x455a14ed);
  step_g(a, b, c, d, x[13], 5, 0xa9e3e905);
  step_g(d, a, b, c, x[2], 9, 0xfcefa3f8);
  step_g(c, d, a, b, x[7], 14, 0x676f02d9);
  step_g(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  // Round 3.
  step<h>(a, b, c, d, x[5], 4, 0xfffa3942);
  step<h>(d, a, b, c, x[8], 11, 0x8771f681);
  step<h>(c, d, a, b, x[11], 16, 0x6d9d6122);
  step<h>(b, c, d, a, x[14], 23, 0xfde5380c);
  step<h>(a, b, c, d, x[1], 4, 0xa4beea44);
  step<h>(d, a, b, c, x[4], 11, 0x4bdecfa9);
  step<h>(c, d, a, b, x[7], 16, 0xf6bb4b60);
  step<h>(b, c, d, a, x[10], 23, 0xbebfbc70);
  step<h>(a, b, c, d, x[13], 4, 0x289b7ec6);
  step<h>(d, a, b, c, x[0], 11, 0xeaa127fa);
  step<h>(c, d, a, b, x[3], 16, 0xd4ef3085);
  step<h>(b, c, d, a, x[6], 23, 0x04881d05);
  step<h>(a, b, c, d, x[9], 4, 0xd9d4d039);
  step<h>(d, a, b, c, x[12], 11, 0xe6db99e5);
  step<h>(c, d, a, b, x[15], 16, 0x1fa27cf8);
  step<h>(b, c, d, a, x[2], 23, 0xc4ac5665);

  // Round 4.
  step<i>(a, b, c, d, x[0], 6, 0xf4292244);
  step<i>(d, a, b, c, x[7], 10, 0x432aff97);
  step<i>(c, d, a, b, x[14], 15, 0xab9423a7);
  step<i>(b, c, d, a, x[5], 21, 0xfc93a039);
  step<i>(a, b, c, d, x[12], 6, 0x655b59c3);
  step<i>(d, a, b, c, x[3], 10, 0x8f0ccc92);
  step<i>(c, d, a, b, x[10], 15, 0xffeff47d);
  step<i>(b, c, d, a, x[1], 21, 0x85845dd1);
  step<i>(a, b, c, d, x[8], 6, 0x6fa87e4f);
  step<i>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  step<i>(c, d, a, b, x[6], 15, 0xa3014314);
  step<i>(b, c, d, a, x[13], 21, 0x4e0811a1);
  step<i>(a, b, c, d, x[4], 6, 0xf7537e82);
  step<i>(d, a, b, c, x[11], 10, 0xbd3af235);
  step<i>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
  step<i>(b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}
