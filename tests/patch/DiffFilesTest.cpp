// A difference applied to files: by the updater (ApplyDiffFile), and by
// slv2pack diff and apply, run as the publisher and scripts run them.
#include "DiffTestSupport.h"
#include "patch/DiffUtil.h"

namespace slv2 {
namespace {

TEST(DiffUtil, ApplyingRebuildsTheNewVersionAndNoFailureTouchesTheOldFile) {
  const std::string kOld = "0123456789", kNew = "01XY456789Z";
  test::TempDir dir;
  std::string old = dir / "app.dll", diff = dir / "app.dll.diff", target = dir / "result.tmp";
  test::WriteFile(old, kOld);
  test::WriteFile(
      diff, test::Delta(kOld, kNew, "XYZ", {{2, 1, 1}, {6, 5, 5}, {0, 1, 12}}) + test::kEndBlock);
  test::WriteFile(target, std::string(100, 'x'));  // emptied first
  EXPECT_TRUE(ApplyDiffFile(old, target, diff));
  EXPECT_EQ(test::ReadFile(target), kNew);

  // A damaged difference is the decoder's; here what fails before it runs.
  struct Case {
    const char* what;
    std::string old, target, diff;
  };
  const Case cases[] = {
      {"missing old file", dir / "missing.dll", target, diff},
      {"missing difference", old, target, dir / "missing.diff"},
      {"a folder as the old file", dir.Path(), target, diff},
      // The old file is open with writers denied, so it is never emptied.
      {"target is the old file", old, old, diff},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(test::FsPath(target));
    EXPECT_FALSE(ApplyDiffFile(c.old, c.target, c.diff));
    EXPECT_EQ(test::ReadFile(old), kOld);
    EXPECT_FALSE(test::PathExists(target));
  }
}

TEST(DiffCommands, ApplyRebuildsTheNewFileAndFailuresLeaveEveryFileAsItWas) {
  test::TempDir dir, logs;
  // Runs slv2pack: its exit status (how it words a failure is its own
  // command runner's, for every command alike).
  auto run = [&](const std::vector<std::string>& arguments) {
    return test::RunProgram("slv2pack", arguments, logs / "stdout", logs / "stderr");
  };
  std::string oldData = test::RandomBytes(300000, 1), newData = oldData, other = oldData;
  newData.replace(1000, 10, "0123456789abc");
  other[250000] ^= 1;
  test::WriteFile(dir / "old", oldData);
  test::WriteFile(dir / "new", newData);
  test::WriteFile(dir / "other", other);
  ASSERT_EQ(run({"diff", dir / "old", dir / "new", dir / "d.diff"}), 0);
  test::WriteFile(dir / "out", "previous");
  std::vector<std::string> files = test::ListTree(dir.Path());

  const std::vector<std::string> failures[] = {
      {"apply", dir / "other", dir / "d.diff", dir / "out"},
      {"diff", dir / "missing", dir / "new", dir / "out"},
  };
  for (const auto& arguments : failures) {
    SCOPED_TRACE(arguments[2]);
    EXPECT_EQ(run(arguments), 1);
    EXPECT_EQ(test::ReadFile(dir / "out"), "previous");
    EXPECT_EQ(test::ListTree(dir.Path()), files);  // no temporary files either
  }
  EXPECT_EQ(run({"diff", dir / "old", dir / "new"}), 2);
  EXPECT_EQ(run({"apply", dir / "old", dir / "new"}), 2);
  ASSERT_EQ(run({"apply", dir / "old", dir / "d.diff", dir / "out"}), 0);
  EXPECT_TRUE(test::ReadFile(dir / "out") == newData);
  // OUT may name OLD: the old file is replaced only once all is verified.
  ASSERT_EQ(run({"apply", dir / "old", dir / "d.diff", dir / "old"}), 0);
  EXPECT_TRUE(test::ReadFile(dir / "old") == newData);
}

}  // namespace
}  // namespace slv2
