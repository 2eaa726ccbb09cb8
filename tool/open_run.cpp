#include "open_run.h"

#include <bit>
#include <cstdint>
#include <cstdio>

#include "crypto/bytes.h"
#include "crypto/md5.h"
#include "gtk_reader.h"
#include "messages.h"
#include "qel_reader.h"
#include "run.h"
#include "sealing_key.h"
#include "signals.h"
#include "storage.h"

namespace {

constexpr int expected_argc = 3;  // the program and two paths

// Nine significant digits tell every float from its neighbours, subnormals
// included, so the " %f" conversion of the bump parser gives back the same
// bits; infinities print as inf and -inf, which it reads as well.
constexpr char value_format[] = "%.9g\n";

bool open_sealed(const char* gtk_path, const char* qel_path) {
  std::uint32_t entry_count = 0;
  std::uint8_t key_area[key_area_size];
  std::uint8_t value_table[value_table_size];
  md5_context digest;
  sealing_key_area sealing_key = initial_sealing_key();

  if (!read_entry_table(gtk_path, key_area, entry_count)) return false;
  digest_entry_keys(digest, sealing_key, key_area, entry_count);
  const bool opened =
      open_qel_file(qel_path, sealing_key.data(), entry_count, value_table);
  wipe_bytes(sealing_key.data() + key_prefix_size, md5_digest_size);
  if (!opened) return false;

  for (std::uint32_t n = 0; n < entry_count; ++n) {
    const float value =
        std::bit_cast<float>(load32_le(value_table + n * word_size));
    std::printf(value_format, static_cast<double>(value));
  }
  // Values that never reached standard output (a full disk) fail the run.
  // No message can say so: messages go to standard output too.
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

}  // namespace

int run_open(int argc, const char* const* argv) {
  ignore_write_signals();
  if (argc != expected_argc) {
    // Like every message, the usage line is best effort: the status says 1.
    static_cast<void>(std::fputs(open_usage_message, stdout));
    return run_failed;
  }
  return open_sealed(argv[1], argv[2]) ? run_succeeded : run_failed;
}
