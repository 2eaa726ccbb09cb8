#include "run.h"

#include <cstdint>
#include <cstdio>

#include "bump_parser.h"
#include "crypto/bytes.h"
#include "crypto/md5.h"
#include "file_identity.h"
#include "gtk_reader.h"
#include "messages.h"
#include "qel_writer.h"
#include "signals.h"
#include "storage.h"

namespace {

// Bytes 0-15 hold key_prefix from program start; each run digests its entry
// keys straight into bytes 16-31, so sealing_key is formed in place.
sealing_key_area sealing_key = initial_sealing_key();

constexpr int expected_argc = 4;  // the program and three paths

bool seal(const char* gtk_path, const char* bump_path, const char* qel_path) {
  std::uint32_t entry_count = 0;
  std::uint8_t key_area[key_area_size];
  std::uint8_t value_table[value_table_size];
  std::uint8_t value_digest[md5_digest_size];
  md5_context digest;

  if (!read_entry_table(gtk_path, key_area, entry_count)) return false;

  digest_entry_keys(digest, sealing_key, key_area, entry_count);

  // From here on the key area serves as the bump file's line buffer.
  if (!read_bump_values(bump_path, entry_count, value_table, key_area)) {
    return false;
  }

  md5_init(digest);
  md5_update(digest, value_table, std::size_t{entry_count} * word_size);
  md5_final(value_digest, digest);

  // Opening the qel file truncates it: were it an input by another path or
  // link, that input would be gone while the run reported success.
  if (same_regular_file(qel_path, gtk_path) ||
      same_regular_file(qel_path, bump_path)) {
    std::printf(open_failed, qel_path);
    return false;
  }
  return write_qel_file(qel_path, sealing_key.data(), value_digest, value_table,
                        entry_count);
}

}  // namespace

int run_tessera(int argc, const char* const* argv) {
  ignore_write_signals();
  if (argc != expected_argc) {
    // Like every message, the usage line is best effort: the status says 1.
    static_cast<void>(std::fputs(usage_message, stdout));
    return run_failed;
  }
  const bool sealed = seal(argv[1], argv[2], argv[3]);
  wipe_bytes(sealing_key.data() + key_prefix_size, md5_digest_size);
  return sealed ? run_succeeded : run_failed;
}
