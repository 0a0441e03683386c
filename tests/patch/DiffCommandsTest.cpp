// slv2pack diff and apply, run as the publisher and scripts run them.
#include <gtest/gtest.h>

#include "DiffTestSupport.h"
#include "TestSupport.h"

namespace slv2 {
namespace {

class DiffCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldData_ = test::RandomBytes(300000, 1);
    newData_ = oldData_;
    newData_.replace(1000, 10, "0123456789abc");
    test::WriteFile(Path("old"), oldData_);
    test::WriteFile(Path("new"), newData_);
  }

  std::string Path(const char* name) const { return dir_ / name; }

  // Runs slv2pack; returns its exit status and leaves its stderr in Stderr().
  int Run(const std::vector<std::string>& arguments) {
    return test::RunProgram("slv2pack", arguments, Path("stdout.txt"), Path("stderr.txt"));
  }
  std::string Stderr() const { return test::ReadFile(Path("stderr.txt")); }

  test::TempDir dir_;
  std::string oldData_, newData_;
};

TEST_F(DiffCommandsTest, DiffThenApplyRebuildsTheNewFile) {
  ASSERT_EQ(Run({"diff", Path("old"), Path("new"), Path("d.diff")}), 0);
  EXPECT_EQ(Stderr(), "");
  EXPECT_LT(test::ReadFile(Path("d.diff")).size(), 200u);
  ASSERT_EQ(Run({"apply", Path("old"), Path("d.diff"), Path("out")}), 0);
  EXPECT_EQ(Stderr(), "");
  EXPECT_TRUE(test::ReadFile(Path("out")) == newData_);
  // OUT may name OLD: the old file is replaced only once all is verified.
  ASSERT_EQ(Run({"apply", Path("old"), Path("d.diff"), Path("old")}), 0);
  EXPECT_TRUE(test::ReadFile(Path("old")) == newData_);
}

TEST_F(DiffCommandsTest, ApplyWritesNothingUnlessTheWholeDifferenceVerifies) {
  ASSERT_EQ(Run({"diff", Path("old"), Path("new"), Path("d.diff")}), 0);
  std::string diff = test::ReadFile(Path("d.diff"));
  test::WriteFile(Path("out"), "previous");
  size_t entries = test::EntryCount(dir_.Path());

  // Another old file, a truncated difference, a missing difference.
  std::string other = oldData_;
  other[250000] ^= 1;
  test::WriteFile(Path("other"), other);
  test::WriteFile(Path("short.diff"), diff.substr(0, diff.size() - 1));
  const char* cases[][2] = {{"other", "d.diff"}, {"old", "short.diff"}, {"old", "missing.diff"}};
  for (auto& c : cases) {
    EXPECT_EQ(Run({"apply", Path(c[0]), Path(c[1]), Path("out")}), 1) << c[1];
    std::string message = Stderr();
    EXPECT_EQ(message.rfind("slv2pack: ", 0), 0u) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_EQ(test::ReadFile(Path("out")), "previous");
  }
  EXPECT_EQ(test::EntryCount(dir_.Path()),
            entries + 2);  // "other" and "short.diff", no temporary files
}

TEST_F(DiffCommandsTest, WrongArgumentsAndFailuresLeaveAnExistingDifferenceAlone) {
  EXPECT_EQ(Run({"apply", Path("old"), Path("new")}), 2);
  EXPECT_NE(Stderr().find("usage: slv2pack apply OLD DIFF OUT"), std::string::npos);
  test::WriteFile(Path("d.diff"), "previous");
  size_t entries = test::EntryCount(dir_.Path());
  EXPECT_EQ(Run({"diff", Path("missing"), Path("new"), Path("d.diff")}), 1);
  std::string message = Stderr();
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
  EXPECT_EQ(Run({"diff", Path("old"), Path("new"), Path("no/folder/d.diff")}), 1);
  EXPECT_EQ(test::ReadFile(Path("d.diff")), "previous");
  EXPECT_EQ(test::EntryCount(dir_.Path()), entries);  // no temporary files either
}

}  // namespace
}  // namespace slv2
