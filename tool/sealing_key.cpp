#include "sealing_key.h"

#include "storage.h"

void digest_entry_keys(md5_context& digest, sealing_key_area& area,
                       const std::uint8_t* key_area,
                       std::uint32_t entry_count) {
  md5_init(digest);
  md5_update(digest, key_area, std::size_t{entry_count} * word_size);
  md5_final(area.data() + key_prefix_size, digest);
}
