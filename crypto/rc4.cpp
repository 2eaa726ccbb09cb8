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
  // Byte-wide indices wrap at 256 by themselves; the permutation is reached
  // through a local pointer and the indices live in registers for the loop.
  std::uint8_t* const perm = st.perm;
  auto i = static_cast<std::uint8_t>(st.i);
  auto j = static_cast<std::uint8_t>(st.j);
#pragma GCC unroll 4
  for (std::size_t n = 0; n < size; ++n) {
    ++i;
    const std::uint8_t a = perm[i];
    j = static_cast<std::uint8_t>(j + a);
    const std::uint8_t b = perm[j];
    perm[j] = a;
    perm[i] = b;
    out[n] = static_cast<std::uint8_t>(in[n] ^
                                       perm[static_cast<std::uint8_t>(a + b)]);
  }
  st.i = i;
  st.j = j;
}
