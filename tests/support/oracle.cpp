#include "oracle.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <bit>
#include <stdexcept>

#include "crypto/bytes.h"
#include "tessera_keys.h"

bytes openssl_md5(const std::uint8_t* data, std::size_t size) {
  bytes digest(16);
  unsigned int length = 0;
  if (EVP_Digest(data, size, digest.data(), &length, EVP_md5(), nullptr) != 1 ||
      length != 16) {
    throw std::runtime_error("EVP_Digest MD5 failed");
  }
  return digest;
}

bytes openssl_rc4(const std::uint8_t* key32, const bytes& input) {
  // RC4 lives in the legacy provider in OpenSSL 3.
  static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
  if (legacy == nullptr || standard == nullptr) {
    throw std::runtime_error("cannot load OpenSSL's legacy provider");
  }
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  bytes out(input.size() + 16);
  int written = 0;
  const bool ok =
      cipher != nullptr && ctx != nullptr &&
      EVP_EncryptInit_ex(ctx, cipher, nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_set_key_length(ctx, 32) == 1 &&
      EVP_EncryptInit_ex(ctx, nullptr, nullptr, key32, nullptr) == 1 &&
      EVP_CIPHER_CTX_get_key_length(ctx) == 32 &&
      EVP_EncryptUpdate(ctx, out.data(), &written, input.data(),
                        static_cast<int>(input.size())) == 1;
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  if (!ok || written != static_cast<int>(input.size())) {
    throw std::runtime_error("OpenSSL RC4 failed");
  }
  out.resize(input.size());
  return out;
}

bytes words_le(const std::vector<std::uint32_t>& words) {
  bytes out(4 * words.size());
  for (std::size_t n = 0; n < words.size(); ++n)
    store32_le(&out[4 * n], words[n]);
  return out;
}

bytes floats_le(const std::vector<float>& values) {
  bytes out(4 * values.size());
  for (std::size_t n = 0; n < values.size(); ++n) {
    store32_le(&out[4 * n], std::bit_cast<std::uint32_t>(values[n]));
  }
  return out;
}

namespace {

bytes sealing_key_for(const std::vector<std::uint32_t>& keys) {
  bytes key(key_prefix, key_prefix + 16);
  const bytes digest = openssl_md5(words_le(keys));
  key.insert(key.end(), digest.begin(), digest.end());
  return key;
}

}  // namespace

bytes model_qel(const std::vector<std::uint32_t>& keys,
                const std::vector<float>& values) {
  const bytes value_bytes = floats_le(values);
  bytes payload = openssl_md5(words_le(keys));
  const bytes value_digest = openssl_md5(value_bytes);
  payload.insert(payload.end(), value_digest.begin(), value_digest.end());
  payload.insert(payload.end(), value_bytes.begin(), value_bytes.end());
  return openssl_rc4(sealing_key_for(keys).data(), payload);
}

bytes open_qel(const std::vector<std::uint32_t>& keys, const bytes& qel) {
  return openssl_rc4(sealing_key_for(keys).data(), qel);
}
