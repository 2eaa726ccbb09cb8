#include "run.h"

#include <gtest/gtest.h>

#include "gtk_writer.h"
#include "oracle.h"
#include "temp_dir.h"

namespace {

// The run driven in-process, as main drives it.
class Run : public temp_dir_test {
 protected:
  int run(std::vector<std::string> args) {
    args.insert(args.begin(), "Tessera");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    const int status = run_tessera(static_cast<int>(args.size()), argv.data());
    out_ = testing::internal::GetCapturedStdout();
    return status;
  }

  std::string out_;
};

TEST_F(Run, WrongArgumentCountPrintsUsage) {
  for (std::size_t paths : {0u, 1u, 2u, 4u}) {
    SCOPED_TRACE("paths " + std::to_string(paths));
    std::vector<std::string> args;
    for (std::size_t n = 0; n < paths; ++n) {
      std::string name = "p";  // built in steps: GCC 12's -O3 misjudges "p" + s
      name += std::to_string(n);
      args.push_back(path(name));
    }
    EXPECT_EQ(run(args), run_failed);
    EXPECT_EQ(out_, "Usage: Tessera gtk_file bump_file qel_file\n");
    for (const std::string& a : args) EXPECT_FALSE(exists(a));
  }
}

// The static sealing key area carries nothing from one run into the next:
// runs for different tables, in any order, each give their own model file.
TEST_F(Run, SuccessiveRunsAreIndependent) {
  const std::vector<gtk_entry> a = {{0, 10}, {1, 20}};
  const std::vector<gtk_entry> b = {{2, 30}, {1, 40}};
  const std::string gtk_a = write_file("a.gtk", make_gtk(a));
  const std::string gtk_b = write_file("b.gtk", make_gtk(b));
  const std::string bump = write_text("v.txt", "1.25 -3\n");
  const bytes want_a = model_qel(entry_keys(a), {1.25f, -3.0f});
  const bytes want_b = model_qel(entry_keys(b), {1.25f, -3.0f});
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(run({gtk_a, bump, path("a.qel")}), run_succeeded) << out_;
    ASSERT_EQ(run({gtk_b, bump, path("b.qel")}), run_succeeded) << out_;
    EXPECT_EQ(out_, "");
    EXPECT_EQ(read_file(path("a.qel")), want_a);
    EXPECT_EQ(read_file(path("b.qel")), want_b);
  }
}

// A failing phase ends the run: later phases never run, so the bump file is
// not opened after a gtk failure and no qel file is made after either.
TEST_F(Run, FailureEndsTheRunAtOnce) {
  const std::string gtk = write_file("t.gtk", make_gtk({{0, 1}}));
  const std::string missing = path("missing");
  const std::string qel = path("out.qel");

  EXPECT_EQ(run({missing, missing + "2", qel}), run_failed);
  EXPECT_EQ(out_, "Couldn't open " + missing + "\n");
  EXPECT_EQ(run({gtk, missing, qel}), run_failed);
  EXPECT_EQ(out_, "Couldn't open " + missing + "\n");
  EXPECT_EQ(run({gtk, write_text("v.txt", "1 2\n"), qel}), run_failed);
  EXPECT_EQ(out_, "Incorrect number of entries in " + path("v.txt") + "\n");
  EXPECT_FALSE(exists(qel));
}

}  // namespace
