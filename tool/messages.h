// The only messages Tessera, tessera-open and tessera-table print, each a
// format with the path as its one %s (the usage messages have none). The
// path is always data, never a format.
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

// tessera-open's own texts; its gtk file failures use the ones above.
inline constexpr char open_usage_message[] =
    "Usage: tessera-open gtk_file qel_file\n";
inline constexpr char wrong_qel_size[] = "Incorrect size of %s\n";
inline constexpr char sealed_for_other_table[] =
    "Sealed for another table or key: %s\n";
inline constexpr char damaged_values[] =
    "Values don't match their digest in %s\n";

// tessera-table's own text; its gtk file failures use the ones above.
inline constexpr char table_usage_message[] = "Usage: tessera-table gtk_file\n";
