#include "qel_writer.h"

#include <cstdio>

#include "crypto/bytes.h"
#include "crypto/rc4.h"
#include "messages.h"
#include "storage.h"

namespace {

bool write_exactly(std::FILE* file, const std::uint8_t* data,
                   std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

}  // namespace

bool write_qel_file(const char* qel_path, const std::uint8_t* sealing_key,
                    const std::uint8_t* value_digest,
                    const std::uint8_t* value_table,
                    std::uint32_t entry_count) {
  const std::size_t values_size = std::size_t{entry_count} * word_size;
  std::uint8_t sealed_entry_digest[md5_digest_size];
  std::uint8_t sealed_value_digest[md5_digest_size];
  std::uint8_t sealed_values[value_table_size];

  // One keystream across the three pieces, in file order.
  rc4_state cipher;
  rc4_setup(cipher, sealing_key);
  rc4_crypt(cipher, sealed_entry_digest, md5_digest_size,
            sealing_key + rc4_key_size - md5_digest_size);
  rc4_crypt(cipher, sealed_value_digest, md5_digest_size, value_digest);
  rc4_crypt(cipher, sealed_values, values_size, value_table);
  wipe_bytes(&cipher, sizeof cipher);

  std::FILE* file = std::fopen(qel_path, "wb");
  if (file == nullptr) {
    std::printf(open_failed, qel_path);
    return false;
  }
  // A full disk may show only when the buffer is flushed or the file closed.
  const bool written =
      write_exactly(file, sealed_entry_digest, md5_digest_size) &&
      write_exactly(file, sealed_value_digest, md5_digest_size) &&
      write_exactly(file, sealed_values, values_size) && std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::printf(write_failed, qel_path);
    return false;
  }
  return true;
}
