#include <gtest/gtest.h>

#include <filesystem>

#include "DiffTestSupport.h"
#include "TestSupport.h"
#include "patch/DiffUtil.h"

namespace slv2 {
namespace {

using test::DiffText;

const std::string kOld = "0123456789";
const std::string kNew = "01XY456789Z";

class DiffUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(Old(), kOld);
    test::WriteFile(
        Diff(),
        DiffText().Delta(kOld, kNew, "XYZ", {{2, 1, 1}, {6, 5, 5}, {0, 1, 12}}).End().Str());
  }
  std::string Old() const { return dir_ / "app.dll"; }
  std::string Diff() const { return dir_ / "app.dll.diff"; }
  std::string Target() const { return dir_ / "result.tmp"; }

  test::TempDir dir_;
};

int64_t ModificationTime(const std::string& path) {
  std::error_code ec;
  return std::filesystem::last_write_time(test::FsPath(path), ec).time_since_epoch().count();
}

TEST_F(DiffUtilTest, AValidDifferenceRebuildsTheNewVersionAndLeavesTheOldFileAlone) {
  int64_t before = ModificationTime(Old());
  int calls = 0;
  EXPECT_TRUE(ApplyDiffFile(Old(), Target(), Diff(), [&](int32_t) { ++calls; }));
  EXPECT_EQ(test::ReadFile(Target()), kNew);
  EXPECT_EQ(test::ReadFile(Old()), kOld);
  EXPECT_EQ(ModificationTime(Old()), before);
  EXPECT_EQ(calls, 3);
  // An existing target is emptied first.
  test::WriteFile(Target(), std::string(100, 'x'));
  EXPECT_TRUE(ApplyDiffFile(Old(), Target(), Diff()));
  EXPECT_EQ(test::ReadFile(Target()), kNew);
}

TEST_F(DiffUtilTest, MissingInputsGiveFalseWithoutCreatingTheTarget) {
  EXPECT_FALSE(ApplyDiffFile(dir_ / "missing.dll", Target(), Diff()));
  EXPECT_FALSE(test::PathExists(Target()));
  EXPECT_FALSE(ApplyDiffFile(Old(), Target(), dir_ / "missing.diff"));
  EXPECT_FALSE(test::PathExists(Target()));
  // A folder is not a file.
  EXPECT_FALSE(ApplyDiffFile(dir_.Path(), Target(), Diff()));
  EXPECT_FALSE(test::PathExists(Target()));
}

TEST_F(DiffUtilTest, DecodeFailuresGiveFalse) {
  // A difference made for another version of the old file.
  test::WriteFile(Old(), "0123456780");
  EXPECT_FALSE(ApplyDiffFile(Old(), Target(), Diff()));
  EXPECT_EQ(test::ReadFile(Old()), "0123456780");
  // An empty difference never reaches its end block.
  test::WriteFile(Old(), kOld);
  test::WriteFile(Diff(), "");
  EXPECT_FALSE(ApplyDiffFile(Old(), Target(), Diff()));
}

TEST_F(DiffUtilTest, FilesThatCannotBeOpenedGiveFalse) {
  // The target cannot be created in a missing folder.
  EXPECT_FALSE(ApplyDiffFile(Old(), dir_ / "no/such/folder/out", Diff()));
  // The target may not be the old file itself: the old file is open for
  // reading with writers denied, so it is never emptied.
  EXPECT_FALSE(ApplyDiffFile(Old(), Old(), Diff()));
  EXPECT_EQ(test::ReadFile(Old()), kOld);
}

}  // namespace
}  // namespace slv2
