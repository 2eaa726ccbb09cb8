// Reads the entry table of a gtk file.
//
// Layout: 8 leading bytes, a 32-byte enciphered header record whose clear
// word 5 is entry_count, and entry_count slots of 64 bytes at the very end
// of the file. The first 32 bytes of a slot are the enciphered entry record;
// its entry_key is clear word 3 when clear word 0 (entry_kind) is 1, else
// clear word 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t gtk_leading_size = 8;  // read, never examined
constexpr std::size_t slot_size = 64;        // entry record + 32 unread bytes
constexpr std::size_t entry_count_word = 5;  // of the clear header record

// The reader's one scratch buffer takes this many slots a read (4,096
// bytes, one page), and their records are deciphered in one call: the
// largest table, 4,098 slots (262,272 bytes), arrives in 65 reads, and the
// storage stays small and fixed. The same buffer first takes the leading
// bytes and the header record.
constexpr std::size_t slots_per_read = 64;

// On success stores entry_count (at most value_capacity) and writes that
// many entry keys, 4 bytes each, little-endian, in table order, to key_area
// (key_area_size bytes). Where entry_kinds is given (value_capacity words),
// it receives each entry's entry_kind too, in the same order. On failure
// prints one message naming gtk_path. The file is closed before returning.
bool read_entry_table(const char* gtk_path, std::uint8_t* key_area,
                      std::uint32_t& entry_count,
                      std::uint32_t* entry_kinds = nullptr);

// The same read on a stream already open for reading, which the caller
// closes; gtk_path only names the file in the message. Tests hand it
// streams whose reads come back short anywhere.
bool read_entry_stream(std::FILE* file, const char* gtk_path,
                       std::uint8_t* key_area, std::uint32_t& entry_count,
                       std::uint32_t* entry_kinds = nullptr);
