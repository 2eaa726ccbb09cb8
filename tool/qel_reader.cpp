#include "qel_reader.h"

#include <cstdio>

#include "crypto/bytes.h"
#include "crypto/md5.h"
#include "crypto/rc4.h"
#include "messages.h"
#include "sealing_key.h"

namespace {

// Asks for one byte more than a whole file holds: getting exactly the
// expected count means the file ends there, without measuring it first.
bool read_sealed(std::FILE* file, const char* path, std::uint8_t* sealed,
                 std::size_t expected_size) {
  const std::size_t got = std::fread(sealed, 1, expected_size + 1, file);
  if (std::ferror(file) != 0) {
    std::printf(read_failed, path);
    return false;
  }
  if (got != expected_size) {
    std::printf(wrong_qel_size, path);
    return false;
  }
  return true;
}

// No early exit: how long the comparison takes does not tell how many
// leading bytes of the digest were right.
bool same_digest(const std::uint8_t* a, const std::uint8_t* b) {
  std::uint8_t difference = 0;
  for (std::size_t n = 0; n < md5_digest_size; ++n) {
    difference = static_cast<std::uint8_t>(difference | (a[n] ^ b[n]));
  }
  return difference == 0;
}

}  // namespace

bool open_qel_file(const char* qel_path, const std::uint8_t* sealing_key,
                   std::uint32_t entry_count, std::uint8_t* value_table) {
  const std::size_t values_size = std::size_t{entry_count} * word_size;
  std::uint8_t sealed[qel_capacity + 1];  // room for the one byte too many

  std::FILE* file = std::fopen(qel_path, "rb");
  if (file == nullptr) {
    std::printf(open_failed, qel_path);
    return false;
  }
  const bool whole =
      read_sealed(file, qel_path, sealed, qel_header_size + values_size);
  // Closing a stream that was only read loses nothing; its result is moot.
  static_cast<void>(std::fclose(file));
  if (!whole) return false;

  // One keystream across the file, as it was enciphered.
  std::uint8_t header[qel_header_size];
  rc4_state cipher;
  rc4_setup(cipher, sealing_key);
  rc4_crypt(cipher, header, qel_header_size, sealed);
  rc4_crypt(cipher, value_table, values_size, sealed + qel_header_size);
  wipe_bytes(&cipher, sizeof cipher);

  if (!same_digest(header, sealing_key + key_prefix_size)) {
    std::printf(sealed_for_other_table, qel_path);
    return false;
  }
  std::uint8_t value_digest[md5_digest_size];
  md5_context digest;
  md5_init(digest);
  md5_update(digest, value_table, values_size);
  md5_final(value_digest, digest);
  if (!same_digest(header + md5_digest_size, value_digest)) {
    std::printf(damaged_values, qel_path);
    return false;
  }
  return true;
}
