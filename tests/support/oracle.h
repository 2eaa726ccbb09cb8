// OpenSSL's libcrypto as an independent oracle, and the model of a qel file
// built on it. Test code only: the tool never links libcrypto.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using bytes = std::vector<std::uint8_t>;

bytes openssl_md5(const std::uint8_t* data, std::size_t size);
inline bytes openssl_md5(const bytes& data) {
  return openssl_md5(data.data(), data.size());
}

// RC4 with all 32 key bytes (the EVP default would keep only 16).
bytes openssl_rc4(const std::uint8_t* key32, const bytes& input);

// Words and floats as the little-endian bytes the files hold.
bytes words_le(const std::vector<std::uint32_t>& words);
bytes floats_le(const std::vector<float>& values);

// The qel file that sealing values to a table with these entry keys must
// give, under the configured key_prefix.
bytes model_qel(const std::vector<std::uint32_t>& keys,
                const std::vector<float>& values);

// Deciphers a qel file for the table with these entry keys: the payload
// (entry digest, value digest, values) as it was before encipherment.
bytes open_qel(const std::vector<std::uint32_t>& keys, const bytes& qel);
