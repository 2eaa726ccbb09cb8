#include "file_identity.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

class file_identity_test : public temp_dir_test {};

// Only regular files are ever the same; everything else, a FIFO included,
// is told apart without being opened (a FIFO nobody writes would block an
// open for reading).
TEST_F(file_identity_test, OnlyOneRegularFileByAnyPathIsTheSame) {
  const std::string file = write_text("file", "x");
  const std::string twin = write_text("twin", "x");  // same bytes
  fs::create_hard_link(file, path("hard"));
  fs::create_symlink("file", path("soft"));
  fs::create_symlink("soft", path("soft2"));  // a link to a link
  fs::create_symlink("nothing", path("dangling"));
  fs::create_directory(path("dir"));
  fs::create_symlink("dir", path("dir-link"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);

  struct identity_case {
    std::string first, second;
    bool same;
  };
  const identity_case cases[] = {
      {file, file, true},
      {file, path("./file"), true},
      {file, path("dir/../file"), true},
      {file, path("hard"), true},
      {path("soft"), file, true},
      {path("soft2"), path("hard"), true},
      {file, twin, false},
      {file, path("missing"), false},
      {path("missing"), path("missing"), false},
      {path("dangling"), path("dangling"), false},
      {path("dir"), path("dir"), false},
      {path("dir"), path("dir-link"), false},
      {path("fifo"), path("fifo"), false},
      {"/dev/null", "/dev/null", false},
      {"", "", false},
  };
  for (const identity_case& c : cases) {
    SCOPED_TRACE(c.first + " and " + c.second);
    EXPECT_EQ(same_regular_file(c.first.c_str(), c.second.c_str()), c.same);
    EXPECT_EQ(same_regular_file(c.second.c_str(), c.first.c_str()), c.same);
  }
}

}  // namespace
