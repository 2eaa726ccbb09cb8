// Tessera's benchmarks: each primitive and phase on the sizes a run meets,
// with OpenSSL's MD5 and RC4 and the plain forms of the record decipher and
// the bump loop beside them, so that every ratio comes from one run. The
// ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bump_reference.h"
#include "crypto/md5.h"
#include "crypto/rc4.h"
#include "crypto/tea.h"
#include "fixtures.h"
#include "tool/bump_parser.h"
#include "tool/gtk_reader.h"
#include "tool/run.h"
#include "tool/storage.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

void md5_tessera(benchmark::State& state, std::size_t size) {
  const auto data = random_bytes(size, 5);
  std::uint8_t digest[md5_digest_size];
  for (auto _ : state) {
    md5_context ctx;
    md5_init(ctx);
    md5_update(ctx, data.data(), data.size());
    md5_final(digest, ctx);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void md5_openssl(benchmark::State& state, std::size_t size) {
  const auto data = random_bytes(size, 5);
  EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, data.data(), data.size());
    EVP_DigestFinal_ex(ctx, digest, &length);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void rc4_tessera(benchmark::State& state, std::size_t size) {
  const auto key = random_bytes(rc4_key_size, 7);
  const auto in = random_bytes(size, 8);
  std::vector<std::uint8_t> out(size);
  rc4_state st;
  rc4_setup(st, key.data());
  for (auto _ : state) {
    rc4_crypt(st, out.data(), size, in.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// OpenSSL's RC4 keyed with all 32 bytes. It lives in the legacy provider,
// and its default key length is 16 bytes, so the length Tessera uses must
// be asked for before keying. ctx is null where that cannot be had.
struct openssl_rc4 {
  explicit openssl_rc4(const std::uint8_t* key)
      : legacy(OSSL_PROVIDER_load(nullptr, "legacy")),
        standard(OSSL_PROVIDER_load(nullptr, "default")),
        cipher(EVP_CIPHER_fetch(nullptr, "RC4", nullptr)),
        ctx(EVP_CIPHER_CTX_new()) {
    if (cipher == nullptr ||
        EVP_CipherInit_ex(ctx, cipher, nullptr, nullptr, nullptr, 1) != 1 ||
        EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(rc4_key_size)) !=
            1 ||
        EVP_CipherInit_ex(ctx, nullptr, nullptr, key, nullptr, 1) != 1) {
      EVP_CIPHER_CTX_free(ctx);
      ctx = nullptr;
    }
  }
  ~openssl_rc4() {
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    OSSL_PROVIDER_unload(standard);
    OSSL_PROVIDER_unload(legacy);
  }
  openssl_rc4(const openssl_rc4&) = delete;
  openssl_rc4& operator=(const openssl_rc4&) = delete;

  OSSL_PROVIDER* legacy;
  OSSL_PROVIDER* standard;
  EVP_CIPHER* cipher;
  EVP_CIPHER_CTX* ctx;
};

void rc4_openssl(benchmark::State& state, std::size_t size) {
  const auto key = random_bytes(rc4_key_size, 7);
  const auto in = random_bytes(size, 8);
  std::vector<std::uint8_t> out(size);
  const openssl_rc4 theirs(key.data());
  if (theirs.ctx == nullptr) {
    state.SkipWithError("OpenSSL's RC4 (legacy provider) is not available");
  } else {
    int written = 0;
    for (auto _ : state) {
      EVP_CipherUpdate(theirs.ctx, out.data(), &written, in.data(),
                       static_cast<int>(size));
      benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(size));
  }
}

// Two forms of one primitive (Tessera's and OpenSSL's, or two of Tessera's),
// called in turn within each iteration, so that both meet the same load on a
// shared machine; the fastest call of each is kept, and their ratio, the
// second's time over the first's, reported as a counter. The label says
// which two they are, first / second.
template <typename Ours, typename Theirs>
void paired(benchmark::State& state, std::size_t size, Ours ours, Theirs theirs,
            const char* label = "Tessera / OpenSSL") {
  state.SetLabel(label);
  using clock = std::chrono::steady_clock;
  double best_ours = 1e30;
  double best_theirs = 1e30;
  for (auto _ : state) {
    const auto t0 = clock::now();
    ours();
    const auto t1 = clock::now();
    theirs();
    const auto t2 = clock::now();
    best_ours =
        std::min(best_ours, std::chrono::duration<double>(t1 - t0).count());
    best_theirs =
        std::min(best_theirs, std::chrono::duration<double>(t2 - t1).count());
  }
  const double mb = static_cast<double>(size) / 1e6;
  state.counters["first_MBps"] = mb / best_ours;
  state.counters["second_MBps"] = mb / best_theirs;
  state.counters["ratio"] = best_theirs / best_ours;
}

void md5_pair(benchmark::State& state, std::size_t size) {
  const auto data = random_bytes(size, 5);
  EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  std::uint8_t ours[md5_digest_size];
  unsigned char theirs[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  paired(
      state, size,
      [&] {
        md5_context c;
        md5_init(c);
        md5_update(c, data.data(), data.size());
        md5_final(ours, c);
        benchmark::DoNotOptimize(ours);
      },
      [&] {
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, theirs, &length);
        benchmark::DoNotOptimize(theirs);
      });
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
}

void rc4_pair(benchmark::State& state, std::size_t size) {
  const auto key = random_bytes(rc4_key_size, 7);
  const auto in = random_bytes(size, 8);
  std::vector<std::uint8_t> out(size);
  rc4_state st;
  rc4_setup(st, key.data());
  const openssl_rc4 theirs(key.data());
  if (theirs.ctx == nullptr) {
    state.SkipWithError("OpenSSL's RC4 (legacy provider) is not available");
  } else {
    int written = 0;
    paired(
        state, size,
        [&] {
          rc4_crypt(st, out.data(), size, in.data());
          benchmark::DoNotOptimize(out.data());
        },
        [&] {
          EVP_CipherUpdate(theirs.ctx, out.data(), &written, in.data(),
                           static_cast<int>(size));
          benchmark::DoNotOptimize(out.data());
        });
  }
}

// The plain form: the record's four blocks deciphered one after another,
// then the byte interleave undone.
void record_in_turn(std::uint8_t* record) {
  std::uint8_t clear[record_blocks][tea_block_size];
  for (std::size_t i = 0; i < record_blocks; ++i) {
    const std::uint8_t* in = record + i * tea_block_size;
    const tea_block b = decipher_block({load32_le(in), load32_le(in + 4)});
    store32_le(clear[i], b.y);
    store32_le(clear[i] + 4, b.z);
  }
  for (std::size_t k = 0; k < tea_block_size; ++k) {
    for (std::size_t i = 0; i < record_blocks; ++i) {
      record[k * record_blocks + i] = clear[i][k];
    }
  }
}

// Records as the gtk reader meets them: a table of independent records, each
// deciphered in place in turn (so no record waits for the one before),
// at_once records a call: one, two, four, or a batch as the gtk reader hands
// over (slots_per_read).
constexpr std::size_t tea_table = 256;
template <std::size_t at_once>
void tea_records(benchmark::State& state,
                 void (*decipher)(std::uint8_t*, std::size_t)) {
  constexpr std::size_t table = tea_table;
  auto records = random_bytes(table * record_size, 9);
  std::size_t n = 0;
  for (auto _ : state) {
    decipher(records.data() + n * record_size, at_once);
    n = (n + at_once) % table;
    benchmark::DoNotOptimize(records.data());
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(at_once));
}

#if TESSERA_TEA_X86
// The AVX-512F and the AVX2 form on batches of records as the gtk reader
// hands them over, called in turn, each on its own table.
void tea_avx512_avx2_pair(benchmark::State& state) {
  constexpr std::size_t batch = slots_per_read;
  auto mine = random_bytes(tea_table * record_size, 10);
  auto other = random_bytes(tea_table * record_size, 11);
  std::size_t n = 0;
  paired(
      state, batch * record_size,
      [&] {
        decipher_records_avx512(mine.data() + n * record_size, batch);
        benchmark::DoNotOptimize(mine.data());
      },
      [&] {
        decipher_records_avx2(other.data() + n * record_size, batch);
        benchmark::DoNotOptimize(other.data());
        n = (n + batch) % tea_table;
      },
      "AVX-512F / AVX2");
}
#endif

void one_record(std::uint8_t* record, std::size_t) { decipher_record(record); }
void one_in_turn(std::uint8_t* record, std::size_t) { record_in_turn(record); }

using bump_parse = bump_outcome (*)(std::FILE*, std::uint32_t, std::uint8_t*,
                                    std::uint8_t*);

void bump_file(benchmark::State& state, const std::string& path,
               bump_parse parse) {
  std::uint8_t line_area[line_size];
  std::uint8_t value_table[value_table_size];
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    const bump_outcome outcome =
        parse(file, value_capacity, value_table, line_area);
    std::fclose(file);
    if (outcome != bump_outcome::ok) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(value_table);
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(value_capacity));
}

void whole_run(benchmark::State& state, const std::string& dir) {
  const std::string gtk = dir + "/table.gtk";
  const std::string bump = dir + "/lines.bump";
  const std::string qel = dir + "/out.qel";
  const char* argv[] = {"Tessera", gtk.c_str(), bump.c_str(), qel.c_str()};
  for (auto _ : state) {
    if (run_tessera(4, argv) != run_succeeded)
      state.SkipWithError("run failed");
  }
}

// Keeps each benchmark's best speed (bytes or items a second) over its
// repetitions, then prints the ratios the targets are stated in.
class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const auto paired_ratio = run.counters.find("ratio");
      if (paired_ratio != run.counters.end()) {
        const std::string name =
            run.benchmark_name() + ", called in turn, " + run.report_label;
        const auto [p, fresh_pair] =
            paired_.try_emplace(name, paired_ratio->second.value);
        if (!fresh_pair)
          p->second = std::max(p->second, paired_ratio->second.value);
      }
      // Noise on a shared machine only ever slows a run down.
      const double speed = speed_of(run);
      const auto [it, fresh] = times_.try_emplace(run.benchmark_name(), speed);
      if (!fresh && speed > it->second) it->second = speed;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nRatios (from this run):\n");
    ratio("MD5 16 KB, Tessera / OpenSSL throughput", "md5/openssl/16384",
          "md5/tessera/16384");
    ratio("MD5 32 KB, Tessera / OpenSSL throughput", "md5/openssl/32768",
          "md5/tessera/32768");
    ratio("RC4 16 KB, Tessera / OpenSSL throughput", "rc4/openssl/16384",
          "rc4/tessera/16384");
    for (const auto& [name, value] : paired_) {
      std::printf("  %-56s %6.2fx\n", name.c_str(), value);
    }
    ratio("decipher_record, speed-up over four blocks in turn",
          "tea/blocks_in_turn", "tea/decipher_record");
    ratio("decipher_records, a batch a call (as the reader calls it)",
          "tea/blocks_in_turn", "tea/decipher_records_batch");
    ratio("  portable form, one record a call", "tea/blocks_in_turn",
          "tea/portable_one");
    ratio("  portable form, two records a call", "tea/blocks_in_turn",
          "tea/portable_pairs");
    ratio("  portable form, a batch a call", "tea/blocks_in_turn",
          "tea/portable_batch");
    ratio("  AVX2 form, one record a call", "tea/blocks_in_turn",
          "tea/avx2_one");
    ratio("  AVX2 form, two records a call (one chain)", "tea/blocks_in_turn",
          "tea/avx2_pairs");
    ratio("  AVX2 form, four records a call (two chains)", "tea/blocks_in_turn",
          "tea/avx2_fours");
    ratio("  AVX2 form, a batch a call", "tea/blocks_in_turn",
          "tea/avx2_batch");
    ratio("  AVX-512F form, one record a call", "tea/blocks_in_turn",
          "tea/avx512_one");
    ratio("  AVX-512F form, four records a call", "tea/blocks_in_turn",
          "tea/avx512_fours");
    ratio("  AVX-512F form, a batch a call", "tea/blocks_in_turn",
          "tea/avx512_batch");
    ratio("bump 4,098 one a line, speed-up over fgets + sscanf",
          "bump/plain/one_per_line", "bump/tool/one_per_line");
    ratio("bump 4,098 on one line, speed-up over fgets + sscanf",
          "bump/plain/one_line", "bump/tool/one_line");
  }

 private:
  static double speed_of(const Run& run) {
    for (const char* name : {"bytes_per_second", "items_per_second"}) {
      const auto c = run.counters.find(name);
      if (c != run.counters.end()) return c->second.value;
    }
    const double t = run.GetAdjustedCPUTime();
    return t > 0 ? 1 / t : 0;
  }
  void ratio(const char* label, const std::string& slow,
             const std::string& fast) {
    const auto s = times_.find(slow);
    const auto f = times_.find(fast);
    if (s == times_.end() || f == times_.end() || s->second <= 0) return;
    std::printf("  %-56s %6.2fx\n", label, f->second / s->second);
  }
  std::map<std::string, double> times_;
  std::map<std::string, double> paired_;
};

}  // namespace

int main(int argc, char** argv) {
  char dir_template[] = "/tmp/tessera-bench-XXXXXX";
  if (mkdtemp(dir_template) == nullptr) return 1;
  const std::string dir = dir_template;
  const auto values = bench_numbers(value_capacity);
  write_bytes(dir + "/table.gtk", make_gtk(bench_entries(value_capacity)));
  write_bytes(dir + "/lines.bump", bump_one_per_line(values));
  write_bytes(dir + "/line.bump", bump_all_on_one_line(values));

  for (std::size_t size : {std::size_t{16384}, std::size_t{32768}}) {
    const std::string n = std::to_string(size);
    benchmark::RegisterBenchmark(("md5/tessera/" + n).c_str(), md5_tessera,
                                 size);
    benchmark::RegisterBenchmark(("md5/openssl/" + n).c_str(), md5_openssl,
                                 size);
  }
  benchmark::RegisterBenchmark("rc4/tessera/16384", rc4_tessera, 16384);
  benchmark::RegisterBenchmark("rc4/openssl/16384", rc4_openssl, 16384);
  for (std::size_t size : {std::size_t{16384}, std::size_t{32768}}) {
    benchmark::RegisterBenchmark(("md5/paired/" + std::to_string(size)).c_str(),
                                 md5_pair, size);
  }
  benchmark::RegisterBenchmark("rc4/paired/16384", rc4_pair, 16384);
  benchmark::RegisterBenchmark("tea/blocks_in_turn", tea_records<1>,
                               one_in_turn);
  benchmark::RegisterBenchmark("tea/decipher_record", tea_records<1>,
                               one_record);
  benchmark::RegisterBenchmark("tea/decipher_records_batch",
                               tea_records<slots_per_read>, decipher_records);
  benchmark::RegisterBenchmark("tea/portable_one", tea_records<1>,
                               decipher_records_portable);
  benchmark::RegisterBenchmark("tea/portable_pairs", tea_records<2>,
                               decipher_records_portable);
  benchmark::RegisterBenchmark("tea/portable_batch",
                               tea_records<slots_per_read>,
                               decipher_records_portable);
#if TESSERA_TEA_X86
  if (tea_avx2_usable()) {
    benchmark::RegisterBenchmark("tea/avx2_one", tea_records<1>,
                                 decipher_records_avx2);
    benchmark::RegisterBenchmark("tea/avx2_pairs", tea_records<2>,
                                 decipher_records_avx2);
    benchmark::RegisterBenchmark("tea/avx2_fours", tea_records<4>,
                                 decipher_records_avx2);
    benchmark::RegisterBenchmark("tea/avx2_batch", tea_records<slots_per_read>,
                                 decipher_records_avx2);
  }
  if (tea_avx512_usable()) {
    benchmark::RegisterBenchmark("tea/avx512_one", tea_records<1>,
                                 decipher_records_avx512);
    benchmark::RegisterBenchmark("tea/avx512_fours", tea_records<4>,
                                 decipher_records_avx512);
    benchmark::RegisterBenchmark("tea/avx512_batch",
                                 tea_records<slots_per_read>,
                                 decipher_records_avx512);
    if (tea_avx2_usable()) {
      benchmark::RegisterBenchmark("tea/paired/avx512_avx2",
                                   tea_avx512_avx2_pair);
    }
  }
#endif
  benchmark::RegisterBenchmark("bump/tool/one_per_line", bump_file,
                               dir + "/lines.bump", parse_bump_stream);
  benchmark::RegisterBenchmark("bump/plain/one_per_line", bump_file,
                               dir + "/lines.bump",
                               reference_parse_bump_stream);
  benchmark::RegisterBenchmark("bump/tool/one_line", bump_file,
                               dir + "/line.bump", parse_bump_stream);
  benchmark::RegisterBenchmark("bump/plain/one_line", bump_file,
                               dir + "/line.bump", reference_parse_bump_stream);
  benchmark::RegisterBenchmark("run/4098_entries", whole_run, dir);

  benchmark::Initialize(&argc, argv);
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(dir);
  return 0;
}
