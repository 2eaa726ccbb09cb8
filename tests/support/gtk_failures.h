// The gtk files that every program reading a table refuses before anything
// else, each with the message Tessera prints for it. Tessera, tessera-open
// and tessera-table read tables with the one reader, so their tests hold
// each program to the same words on the same files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "gtk_writer.h"

struct gtk_failure {
  std::string label;
  std::string path;     // what to give the program as gtk_file
  const char* message;  // the format, with the path in place of %s
};

// Writes the files into dir, made from entries (a table of a few entries):
// a missing file, a missing path that looks like a format, an empty file,
// the table cut to 39 bytes, the directory itself, a header counting one
// slot more than the file holds, and headers counting 4,099 and 0xFFFFFFFF
// entries.
std::vector<gtk_failure> write_gtk_failures(
    const std::filesystem::path& dir, const std::vector<gtk_entry>& entries);

// format with path in place of its one %s.
std::string with_path(const char* format, const std::string& path);
