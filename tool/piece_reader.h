// Cuts a stream into the pieces std::fgets(area, line_size, file) would
// give: at most line_size - 1 characters, through a newline; a piece cut
// short by a read error is not given, as fgets drops it. The stream is read
// in large blocks into the line area itself, so the text stays where it
// was read.
//
// next_run gives the pieces many at a time: a run of them laid end to end,
// in which every newline ends a piece and nothing else does, so that the
// pieces are the run cut after each newline. Newlines are found 64 bytes
// at a time as a bit mask (AVX2 or SSE2 on x86-64, 64-bit words
// elsewhere). next_piece, one memchr a piece, is the plain form beside it,
// and skip_pieces_plain beside skip_pieces; tests hold them against each
// other and against fgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct piece_reader {
  std::size_t begin;  // the unread text is area[begin, end)
  std::size_t end;
  std::size_t cut;  // where the terminating zero of what was last given is
  char held;        // the character the zero replaced
  bool drained;     // no more reads: end of file or a read error
};

void piece_reader_init(piece_reader& reader);

// Gives the next run of pieces, zero-terminated in area (run[length] ==
// 0), and true; or false once fgets would give a null pointer: at the end
// of the file, or on a read error; std::ferror tells the two apart. area
// is the line_size bytes of the line area and must not be changed between
// calls, except inside the run last given.
bool next_run(std::FILE* file, char* area, piece_reader& reader, char*& run,
              std::size_t& length);

// The same, one piece at a time: the pieces the runs are made of.
bool next_piece(std::FILE* file, char* area, piece_reader& reader, char*& piece,
                std::size_t& length);

// The first characters of pieces that a caller has no use for.
struct piece_filter {
  bool pass_over[256];  // indexed by the character as unsigned char
};

// For p inside a run that next_run gave: the start of the first piece
// after the one that holds p whose first character the filter does not
// pass over, or end, the end of the run, where there is none. area is the
// line area the run lies in.
const char* skip_pieces(const char* area, const char* p, const char* end,
                        const piece_filter& filter);
const char* skip_pieces_plain(const char* p, const char* end,
                              const piece_filter& filter);

// The ways of finding newlines 64 bytes at a time, for tests: newline_mask
// gives bit i set where block[i] == '\n'. next_run and skip_pieces use
// newline_mask_used(): AVX2 (with BMI) where the processor has it, chosen
// when the program runs, else SSE2 on x86-64, else 64-bit words. The
// _with forms take any form; one that newline_mask_available says this
// build or processor lacks falls back to the next one down.
enum class newline_mask_form { avx2, sse2, words };
newline_mask_form newline_mask_used();
bool newline_mask_available(newline_mask_form form);
std::uint64_t newline_mask(newline_mask_form form, const char* block);
bool next_run_with(newline_mask_form form, std::FILE* file, char* area,
                   piece_reader& reader, char*& run, std::size_t& length);
const char* skip_pieces_with(newline_mask_form form, const char* area,
                             const char* p, const char* end,
                             const piece_filter& filter);
