// Reads the public test vector files kept in tests/vectors: one vector a
// line of name=value fields; '#' comments and blank lines are skipped.
#pragma once

#include <map>
#include <string>
#include <vector>

struct vector_line {
  int line_number;
  std::map<std::string, std::string> fields;
};

// name is a file in tests/vectors, such as "md5.txt". Throws when the file
// cannot be read, so a missing table fails the test instead of passing it.
std::vector<vector_line> read_vectors(const std::string& name);
