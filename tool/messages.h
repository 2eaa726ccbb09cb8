// The only texts Tessera prints, each a format with the path as its one %s
// (the usage message has none). The path is always data, never a format.
#pragma once

inline constexpr char usage_message[] =
    "Usage: Tessera gtk_file bump_file qel_file\n";
inline constexpr char open_failed[] = "Couldn't open %s\n";
inline constexpr char read_failed[] = "Couldn't read %s\n";
inline constexpr char seek_failed[] = "Couldn't seek in %s\n";
inline constexpr char too_many_entries[] = "Too many entries in %s\n";
inline constexpr char wrong_entry_count[] =
    "Incorrect number of entries in %s\n";
inline constexpr char write_failed[] = "Couldn't write to %s\n";
