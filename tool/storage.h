// Capacities of the storage a run passes from phase to phase. The entry
// function owns all of it; every buffer is sized by these names.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t word_size = 4;  // an entry key or a float

// The key and line area: first the entry keys, then the current bump line.
constexpr std::size_t key_area_size = 32768;
constexpr std::size_t key_capacity = key_area_size / word_size;  // 8,192
constexpr std::size_t line_size = key_area_size;

// The value table holds 4,098 values: the most a run accepts. An entry
// count above it is refused before any entry key is stored.
constexpr std::size_t value_capacity = 4098;
constexpr std::size_t value_table_size = value_capacity * word_size;  // 16,392

static_assert(value_capacity <= key_capacity,
              "every accepted entry key must fit the key and line area");
