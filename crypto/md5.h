// MD5 (RFC 1321) over a context the caller owns. Nothing is allocated and no
// pointer outlives a call. md5_final wipes the context; set it up again with
// md5_init before further use.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t md5_block_size = 64;
constexpr std::size_t md5_digest_size = 16;

struct md5_context {
  std::uint32_t state[4];               // chaining values A, B, C, D
  std::uint32_t count[2];               // bits fed so far, low word first
  std::uint8_t buffer[md5_block_size];  // fed, not yet compressed
};

void md5_init(md5_context& ctx);

// Feeds size bytes; size 0 may come with a null pointer.
void md5_update(md5_context& ctx, const std::uint8_t* data, std::size_t size);

// Pads, writes the 16-byte digest and wipes the context to zero.
void md5_final(std::uint8_t* digest, md5_context& ctx);

// Compresses one 64-byte block into ctx.state; used by md5_update.
void md5_transform(std::uint32_t* state, const std::uint8_t* block);
