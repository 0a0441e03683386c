#include <gtest/gtest.h>

#include <filesystem>

#include "DiffTestSupport.h"
#include "TestSupport.h"
#include "patch/DiffUtil.h"

namespace slv2 {
namespace {

const std::string kOld = "0123456789";
const std::string kNew = "01XY456789Z";

class DiffUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(Old(), kOld);
    test::WriteFile(
        Diff(),
        test::DiffText().Delta(kOld, kNew, "XYZ", {{2, 1, 1}, {6, 5, 5}, {0, 1, 12}}).End().Str());
  }
  std::string Old() const { return dir_ / "app.dll"; }
  std::string Diff() const { return dir_ / "app.dll.diff"; }
  std::string Target() const { return dir_ / "result.tmp"; }

  test::TempDir dir_;
};

TEST_F(DiffUtilTest, AValidDifferenceRebuildsTheNewVersionAndLeavesTheOldFileAlone) {
  auto modified = [&] { return std::filesystem::last_write_time(test::FsPath(Old())); };
  auto before = modified();
  int calls = 0;
  EXPECT_TRUE(ApplyDiffFile(Old(), Target(), Diff(), [&](int32_t) { ++calls; }));
  EXPECT_EQ(test::ReadFile(Target()), kNew);
  EXPECT_EQ(test::ReadFile(Old()), kOld);
  EXPECT_EQ(modified(), before);
  EXPECT_EQ(calls, 3);
  // An existing target is emptied first.
  test::WriteFile(Target(), std::string(100, 'x'));
  EXPECT_TRUE(ApplyDiffFile(Old(), Target(), Diff()));
  EXPECT_EQ(test::ReadFile(Target()), kNew);
}

TEST_F(DiffUtilTest, EveryFailureGivesFalseAndNeverTouchesTheOldFile) {
  struct Case {
    const char* what;
    std::string old, target, diff, oldContent;
    bool emptyDiff, targetCreated;
  };
  std::string folder = dir_.Path();
  const Case cases[] = {
      {"missing old file", dir_ / "missing.dll", Target(), Diff(), kOld, false, false},
      {"missing difference", Old(), Target(), dir_ / "missing.diff", kOld, false, false},
      {"a folder as the old file", folder, Target(), Diff(), kOld, false, false},
      {"target in a missing folder", Old(), dir_ / "no/such/out", Diff(), kOld, false, false},
      // The old file is open with writers denied, so it is never emptied.
      {"target is the old file", Old(), Old(), Diff(), kOld, false, false},
      {"another version of the old file", Old(), Target(), Diff(), "0123456780", false, true},
      {"an empty difference", Old(), Target(), Diff(), kOld, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteFile(Old(), c.oldContent);
    if (c.emptyDiff) test::WriteFile(Diff(), "");
    std::filesystem::remove(test::FsPath(Target()));
    EXPECT_FALSE(ApplyDiffFile(c.old, c.target, c.diff));
    EXPECT_EQ(test::ReadFile(Old()), c.oldContent);
    EXPECT_TRUE(c.target != Target() || test::PathExists(Target()) == c.targetCreated);
  }
}

}  // namespace
}  // namespace slv2
