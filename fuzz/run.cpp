// Fuzzes a whole run, run_tessera, on an arbitrary gtk file and bump file.
//
// Input layout: bytes 0-3 little-endian give the gtk file's size (cut to
// what is there); the gtk file follows, and the rest is the bump file. An
// input of even size finds an existing qel file in place; one of odd size
// finds none.
//
// Beyond "no crash, no sanitizer report, no leak" it asserts:
// - the status is 0 or 1; status 0 prints nothing, status 1 prints exactly
//   one line, one of the tool's messages naming one of the three paths;
//   where the gtk file is at fault, exactly the message the model of the
//   format gives (gtk_model.h);
// - the input files are never written;
// - a failed run leaves an existing qel file untouched and creates none;
// - a successful run wrote a qel file of exactly 32 + 4 * entry_count
//   bytes which, deciphered with RC4 under key_prefix followed by the MD5
//   of the model's entry keys, starts with that MD5 followed by the MD5 of
//   the values that follow it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "crypto/bytes.h"
#include "crypto/md5.h"
#include "crypto/rc4.h"
#include "fuzz_support.h"
#include "gtk_model.h"
#include "tessera_keys.h"
#include "tool/messages.h"
#include "tool/qel_writer.h"
#include "tool/run.h"
#include "tool/storage.h"

namespace {

constexpr std::size_t size_field = 4;  // the gtk file's size, little-endian
// The messages that may name any of the three files; the count message
// names only the bump file.
constexpr const char* any_path_messages[] = {
    open_failed, read_failed, seek_failed, too_many_entries, write_failed};
constexpr char existing_qel[] = "an earlier qel file, to be kept\n";

std::vector<std::uint8_t> md5_of(const std::uint8_t* data, std::size_t size) {
  md5_context ctx;
  md5_init(ctx);
  md5_update(ctx, data, size);
  std::vector<std::uint8_t> digest(md5_digest_size);
  md5_final(digest.data(), ctx);
  return digest;
}

bool is_one_message(const std::string& printed, const std::string& gtk,
                    const std::string& bump, const std::string& qel) {
  const auto names_a_path = [&](const char* format) {
    return printed == message_for(format, gtk) ||
           printed == message_for(format, bump) ||
           printed == message_for(format, qel);
  };
  return std::any_of(std::begin(any_path_messages), std::end(any_path_messages),
                     names_a_path) ||
         printed == message_for(wrong_entry_count, bump);
}

void check_sealed(const std::vector<std::uint8_t>& qel,
                  const gtk_expectation& table) {
  const std::size_t values_size = std::size_t{table.entry_count} * word_size;
  fuzz_check(qel.size() == qel_header_size + values_size,
             "qel file of the wrong size:", std::to_string(qel.size()));

  std::vector<std::uint8_t> keys(values_size);
  for (std::size_t n = 0; n < table.keys.size(); ++n) {
    store32_le(keys.data() + n * word_size, table.keys[n]);
  }
  const std::vector<std::uint8_t> entry_digest =
      md5_of(keys.data(), keys.size());

  std::uint8_t sealing_key[rc4_key_size];
  for (std::size_t n = 0; n < md5_digest_size; ++n) {
    sealing_key[n] = key_prefix[n];
    sealing_key[md5_digest_size + n] = entry_digest[n];
  }
  rc4_state cipher;
  rc4_setup(cipher, sealing_key);
  std::vector<std::uint8_t> payload(qel.size());
  rc4_crypt(cipher, payload.data(), qel.size(), qel.data());

  const std::vector<std::uint8_t> value_digest =
      md5_of(payload.data() + qel_header_size, values_size);
  fuzz_check(
      std::equal(entry_digest.begin(), entry_digest.end(), payload.begin()),
      "sealed entry digest is not the MD5 of the entry keys");
  fuzz_check(std::equal(value_digest.begin(), value_digest.end(),
                        payload.begin() + md5_digest_size),
             "sealed value digest is not the MD5 of the sealed values");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < size_field) return -1;  // not in the layout; libFuzzer drops it
  const std::size_t rest = size - size_field;
  const std::size_t gtk_size = std::min<std::size_t>(load32_le(data), rest);
  const std::uint8_t* gtk_data = data + size_field;
  const std::uint8_t* bump_data = gtk_data + gtk_size;
  const std::size_t bump_size = rest - gtk_size;

  const std::string gtk = fuzz_dir() + "/input.gtk";
  const std::string bump = fuzz_dir() + "/input.bump";
  const std::string qel = fuzz_dir() + "/output.qel";
  write_bytes(gtk, gtk_data, gtk_size);
  write_bytes(bump, bump_data, bump_size);
  const bool qel_existed = size % 2 == 0;
  if (qel_existed) {
    write_bytes(qel, reinterpret_cast<const std::uint8_t*>(existing_qel),
                sizeof existing_qel - 1);
  } else {
    // Fails when there is none, which is what is wanted.
    static_cast<void>(std::remove(qel.c_str()));
  }

  const char* argv[] = {"Tessera", gtk.c_str(), bump.c_str(), qel.c_str(),
                        nullptr};
  begin_capture();
  const int status = run_tessera(4, argv);
  const std::string printed = end_capture();

  fuzz_check(read_bytes(gtk) ==
                 std::vector<std::uint8_t>(gtk_data, gtk_data + gtk_size),
             "the gtk file was changed");
  fuzz_check(read_bytes(bump) ==
                 std::vector<std::uint8_t>(bump_data, bump_data + bump_size),
             "the bump file was changed");

  const gtk_expectation table = model_gtk(gtk_data, gtk_size);
  if (status != run_succeeded) {
    fuzz_check(status == run_failed, "unknown exit status",
               std::to_string(status));
    fuzz_check(is_one_message(printed, gtk, bump, qel),
               "not one of the messages:", printed);
    if (table.failure != nullptr) {
      fuzz_check(printed == message_for(table.failure, gtk),
                 "wrong gtk failure message:", printed);
    }
    if (qel_existed) {
      const std::vector<std::uint8_t> kept = read_bytes(qel);
      fuzz_check(std::string(kept.begin(), kept.end()) == existing_qel,
                 "a failed run changed the existing qel file");
    } else {
      fuzz_check(!file_exists(qel), "a failed run created a qel file");
    }
    return 0;
  }
  fuzz_check(printed.empty(), "a successful run printed:", printed);
  fuzz_check(table.failure == nullptr, "run succeeded on a faulty gtk file");
  check_sealed(read_bytes(qel), table);
  return 0;
}
