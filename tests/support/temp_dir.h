// A fresh directory for one test's files, removed with everything in it
// when the test ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class temp_dir_test : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The path of name inside the directory.
  std::string path(const std::string& name) const;
  std::string write_file(const std::string& name,
                         const std::vector<std::uint8_t>& content) const;
  std::string write_text(const std::string& name,
                         const std::string& text) const;
  static std::vector<std::uint8_t> read_file(const std::string& path);
  static bool exists(const std::string& path);

  std::filesystem::path dir_;
};
