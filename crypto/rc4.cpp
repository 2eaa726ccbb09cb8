#include "rc4.h"

void rc4_setup(rc4_state& st, const std::uint8_t* key) {
  st.i = 0;
  st.j = 0;
  for (std::uint32_t n = 0; n < 256; ++n)
    st.perm[n] = static_cast<std::uint8_t>(n);
  std::uint32_t t = 0;
  for (std::uint32_t n = 0; n < 256; ++n) {
    const std::uint8_t a = st.perm[n];
    t = (t + a + key[n % rc4_key_size]) & 0xFF;
    st.perm[n] = st.perm[t];
    st.perm[t] = a;
  }
}

void rc4_crypt(rc4_state& st, std::uint8_t* out, std::size_t size,
               const std::uint8_t* in) {
  std::uint32_t i = st.i;
  std::uint32_t j = st.j;
  for (std::size_t n = 0; n < size; ++n) {
    i = (i + 1) & 0xFF;
    const std::uint8_t a = st.perm[i];
    j = (j + a) & 0xFF;
    const std::uint8_t b = st.perm[j];
    st.perm[j] = a;
    st.perm[i] = b;
    out[n] = static_cast<std::uint8_t>(in[n] ^ st.perm[(a + b) & 0xFF]);
  }
  st.i = i;
  st.j = j;
}
