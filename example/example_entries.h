// The entry table of the shipped example, shared by the example writer and
// the end-to-end test that seals it. Both kinds of entry occur: kind 1
// carries its key in clear word 3, every other kind in clear word 1. There
// are as many entries as example/example.bump holds values.
#pragma once

#include <vector>

#include "gtk_writer.h"

inline std::vector<gtk_entry> example_entries() {
  return {
      {0, 0x00C0FFEEu}, {1, 0x7E55E4A0u}, {2, 0x0000002Au}, {1, 0xDEADBEEFu},
      {0, 0x10203040u}, {1, 0xFFFFFFFFu}, {7, 0x00000000u},
  };
}
