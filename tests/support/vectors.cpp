#include "vectors.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

std::vector<vector_line> read_vectors(const std::string& name) {
  const std::string path = std::string(TESSERA_VECTOR_DIR) + "/" + name;
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<vector_line> lines;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.empty() || text[0] == '#') continue;
    vector_line line{number, {}};
    std::istringstream fields(text);
    std::string field;
    while (fields >> field) {
      const auto eq = field.find('=');
      if (eq == std::string::npos)
        throw std::runtime_error("bad field in " + path);
      line.fields[field.substr(0, eq)] = field.substr(eq + 1);
    }
    lines.push_back(std::move(line));
  }
  if (lines.empty()) throw std::runtime_error("no vectors in " + path);
  return lines;
}
