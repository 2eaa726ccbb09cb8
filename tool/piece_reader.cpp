#include "piece_reader.h"

#include <bit>
#include <cstring>

#include "crypto/bytes.h"
#include "storage.h"

// SSE2 is part of x86-64. AVX2 (with BMI for the bit scans) is taken only
// where the processor has it, chosen when the program runs.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TESSERA_SSE2_NEWLINES 1
#else
#define TESSERA_SSE2_NEWLINES 0
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TESSERA_AVX2_NEWLINES 1
#else
#define TESSERA_AVX2_NEWLINES 0
#endif

namespace {

// fgets keeps one byte of the buffer for the terminating zero.
constexpr std::size_t max_piece = line_size - 1;

// Newlines are searched for in blocks of 64 bytes at offsets from the
// area's start that are multiples of 64, so no block reaches past the area.
constexpr std::size_t block_size = 64;
static_assert(line_size % block_size == 0, "blocks must tile the line area");
constexpr std::uint64_t all_bits = ~std::uint64_t{0};

// ---- Newline masks ----

// Eight bytes at a time: a byte of w ^ 0x0a0a... is zero exactly where w
// holds a newline, and the high bit of each byte of `zero` says so (this
// form, unlike the shorter (t - 0x01...) & ~t, has no borrow that marks
// the byte above a zero). The multiply gathers the eight high bits into
// the top byte, byte k to bit 56 + k, with no two products meeting.
std::uint64_t newline_bits_of_word(std::uint64_t w) {
  constexpr std::uint64_t ones = 0x0101010101010101;
  constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
  const std::uint64_t t = w ^ (ones * '\n');
  const std::uint64_t zero = ~(((t & low7) + low7) | t) & ~low7;
  return ((zero >> 7) * 0x0102040810204080) >> 56;
}

[[gnu::always_inline]] inline std::uint64_t mask_of_words(const char* block) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(block);
  std::uint64_t mask = 0;
  for (std::size_t k = 0; k < block_size / 8; ++k) {
    mask |= newline_bits_of_word(load64_le(bytes + 8 * k)) << (8 * k);
  }
  return mask;
}

#if TESSERA_SSE2_NEWLINES
// Sixteen bytes a compare, the four written out: a loop over them costs a
// third again as much.
[[gnu::always_inline]] inline std::uint64_t mask_of_sse2(const char* block) {
  const __m128i newline = _mm_set1_epi8('\n');
  const auto bits = [&](std::size_t k) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * k));
    // 16 bits, the rest zero.
    return std::uint64_t{static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)))};
  };
  return bits(0) | bits(1) << 16 | bits(2) << 32 | bits(3) << 48;
}
#endif

#if TESSERA_AVX2_NEWLINES
// Thirty-two bytes a compare. Not forced inline: it can be inlined only
// into code built for AVX2, which is where it is used.
[[gnu::target("avx2")]] inline std::uint64_t mask_of_avx2(const char* block) {
  const __m256i newline = _mm256_set1_epi8('\n');
  const __m256i low =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
  const __m256i high =
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
  const auto low_bits = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(low, newline)));
  const auto high_bits = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(high, newline)));
  return std::uint64_t{low_bits} | std::uint64_t{high_bits} << 32;
}
#endif

using mask_function = std::uint64_t (*)(const char*);

// ---- Runs and pieces ----

// The last newline in area[begin, end), or end where there is none. The
// bytes from end to the next block boundary are zeros (refill sees to
// it), so no newline shows beyond end.
template <mask_function mask_of>
std::size_t last_newline(const char* area, std::size_t begin, std::size_t end) {
  if (begin == end) return end;
  std::size_t block = (end - 1) / block_size * block_size;
  for (;;) {
    std::uint64_t mask = mask_of(area + block);
    if (block < begin) mask &= all_bits << (begin - block);
    if (mask != 0) {
      return block + block_size - 1 -
             static_cast<std::size_t>(std::countl_zero(mask));
    }
    if (block <= begin) return end;
    block -= block_size;
  }
}

// Moves the unread text to the front of the area and fills it behind with
// one large read, leaving room for the terminating zero, and zeros the
// bytes after the text up to the next block boundary. Kept out of line: it
// runs once per 32 KB.
[[gnu::noinline]] void refill(std::FILE* file, char* area, piece_reader& r) {
  const std::size_t unread = r.end - r.begin;
  std::memmove(area, area + r.begin, unread);
  const std::size_t wanted = max_piece - unread;
  const std::size_t got = std::fread(area + unread, 1, wanted, file);
  r.begin = 0;
  r.end = unread + got;
  const std::size_t boundary = (r.end / block_size + 1) * block_size;
  std::memset(area + r.end, 0, boundary - r.end);
  r.drained = got < wanted;
}

// Gives area[r.begin, stop), zero-terminated until the next call.
void give(char* area, piece_reader& r, std::size_t stop, char*& text,
          std::size_t& length) {
  text = area + r.begin;
  length = stop - r.begin;
  r.begin = stop;
  r.cut = stop;
  r.held = area[stop];
  area[stop] = 0;
}

// What fgets does with the text from r.begin when no newline ends it:
// cuts it after max_piece characters if that many are read, gives it whole
// at the end of the file, gives nothing more after a read error or once
// nothing is left, or else reads on.
enum class no_newline { cut_at, read_more, finished };
no_newline without_newline(std::FILE* file, const piece_reader& r,
                           std::size_t& stop) {
  const std::size_t unread = r.end - r.begin;
  if (unread >= max_piece) {
    stop = r.begin + max_piece;  // a long line's next piece
    return no_newline::cut_at;
  }
  if (!r.drained) return no_newline::read_more;
  // Nothing left; or the last piece, which a read error cut short.
  if (unread == 0 || std::ferror(file) != 0) return no_newline::finished;
  stop = r.end;  // the last line, without a newline
  return no_newline::cut_at;
}

template <mask_function mask_of>
[[gnu::always_inline]] inline bool next_run_in(std::FILE* file, char* area,
                                               piece_reader& r, char*& run,
                                               std::size_t& length) {
  area[r.cut] = r.held;
  for (;;) {
    // Every piece from r.begin through the last newline read ends at a
    // newline and is no longer than max_piece: the unread text never is.
    std::size_t stop = last_newline<mask_of>(area, r.begin, r.end);
    if (stop != r.end) {
      ++stop;
    } else {
      const no_newline next = without_newline(file, r, stop);
      if (next == no_newline::finished) return false;
      if (next == no_newline::read_more) {
        refill(file, area, r);
        continue;
      }
    }
    give(area, r, stop, run, length);
    return true;
  }
}

// Works on the starts of pieces: bit i of `starts` is set where
// block[i] follows a newline, the newline mask shifted up by one, with the
// top bit carried into the next block.
template <mask_function mask_of>
[[gnu::always_inline]] inline const char* skip_pieces_in(
    const char* area, const char* p, const char* end,
    const piece_filter& filter) {
  const auto at = static_cast<std::size_t>(p - area);
  const char* block = area + at / block_size * block_size;
  std::uint64_t newlines = mask_of(block) & (all_bits << (at % block_size));
  std::uint64_t starts = newlines << 1;
  for (;;) {
    while (starts == 0) {
      const std::uint64_t carried = newlines >> 63;
      block += block_size;
      if (block >= end) return end;
      newlines = mask_of(block);
      starts = newlines << 1 | carried;
    }
    const char* next = block + std::countr_zero(starts);
    starts &= starts - 1;
    // No newline lies at or after the run's end (next_run ends a run after
    // its last newline, and the zeros after the text hold none), so next
    // is at most end; at end it meets the zero that ends the run, and a
    // filter that passes over a zero finds no newline after it.
    if (!filter.pass_over[static_cast<unsigned char>(*next)]) return next;
  }
}

#if TESSERA_AVX2_NEWLINES
[[gnu::target("avx2,bmi")]] bool next_run_avx2(std::FILE* file, char* area,
                                               piece_reader& reader, char*& run,
                                               std::size_t& length) {
  return next_run_in<mask_of_avx2>(file, area, reader, run, length);
}

[[gnu::target("avx2,bmi")]] const char* skip_pieces_avx2(
    const char* area, const char* p, const char* end,
    const piece_filter& filter) {
  return skip_pieces_in<mask_of_avx2>(area, p, end, filter);
}
#endif

bool avx2_usable() {
#if TESSERA_AVX2_NEWLINES
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
#else
  return false;
#endif
}

}  // namespace

void piece_reader_init(piece_reader& reader) { reader = {0, 0, 0, 0, false}; }

bool next_run(std::FILE* file, char* area, piece_reader& reader, char*& run,
              std::size_t& length) {
  return next_run_with(newline_mask_used(), file, area, reader, run, length);
}

bool next_piece(std::FILE* file, char* area, piece_reader& reader, char*& piece,
                std::size_t& length) {
  area[reader.cut] = reader.held;
  for (;;) {
    std::size_t stop = 0;
    const void* newline =
        std::memchr(area + reader.begin, '\n', reader.end - reader.begin);
    if (newline != nullptr) {
      stop =
          static_cast<std::size_t>(static_cast<const char*>(newline) - area) +
          1;
    } else {
      const no_newline next = without_newline(file, reader, stop);
      if (next == no_newline::finished) return false;
      if (next == no_newline::read_more) {
        refill(file, area, reader);
        continue;
      }
    }
    give(area, reader, stop, piece, length);
    return true;
  }
}

const char* skip_pieces(const char* area, const char* p, const char* end,
                        const piece_filter& filter) {
  return skip_pieces_with(newline_mask_used(), area, p, end, filter);
}

const char* skip_pieces_plain(const char* p, const char* end,
                              const piece_filter& filter) {
  for (;;) {
    const void* newline =
        std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (newline == nullptr) return end;
    p = static_cast<const char*>(newline) + 1;
    if (!filter.pass_over[static_cast<unsigned char>(*p)]) return p;
  }
}

newline_mask_form newline_mask_used() {
  if (avx2_usable()) return newline_mask_form::avx2;
  return TESSERA_SSE2_NEWLINES ? newline_mask_form::sse2
                               : newline_mask_form::words;
}

bool newline_mask_available(newline_mask_form form) {
  switch (form) {
    case newline_mask_form::avx2:
      return avx2_usable();
    case newline_mask_form::sse2:
      return TESSERA_SSE2_NEWLINES != 0;
    case newline_mask_form::words:
      return true;
  }
  return false;
}

// A form this build or processor lacks falls back to the next one down.
#if TESSERA_AVX2_NEWLINES
[[gnu::target("avx2")]] std::uint64_t newline_mask_avx2(const char* block) {
  return mask_of_avx2(block);
}
#endif

std::uint64_t newline_mask([[maybe_unused]] newline_mask_form form,
                           const char* block) {
#if TESSERA_AVX2_NEWLINES
  if (form == newline_mask_form::avx2 && avx2_usable()) {
    return newline_mask_avx2(block);
  }
#endif
#if TESSERA_SSE2_NEWLINES
  if (form != newline_mask_form::words) return mask_of_sse2(block);
#endif
  return mask_of_words(block);
}

bool next_run_with([[maybe_unused]] newline_mask_form form, std::FILE* file,
                   char* area, piece_reader& reader, char*& run,
                   std::size_t& length) {
#if TESSERA_AVX2_NEWLINES
  if (form == newline_mask_form::avx2 && avx2_usable()) {
    return next_run_avx2(file, area, reader, run, length);
  }
#endif
#if TESSERA_SSE2_NEWLINES
  if (form != newline_mask_form::words) {
    return next_run_in<mask_of_sse2>(file, area, reader, run, length);
  }
#endif
  return next_run_in<mask_of_words>(file, area, reader, run, length);
}

const char* skip_pieces_with([[maybe_unused]] newline_mask_form form,
                             const char* area, const char* p, const char* end,
                             const piece_filter& filter) {
#if TESSERA_AVX2_NEWLINES
  if (form == newline_mask_form::avx2 && avx2_usable()) {
    return skip_pieces_avx2(area, p, end, filter);
  }
#endif
#if TESSERA_SSE2_NEWLINES
  if (form != newline_mask_form::words) {
    return skip_pieces_in<mask_of_sse2>(area, p, end, filter);
  }
#endif
  return skip_pieces_in<mask_of_words>(area, p, end, filter);
}
