#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "patch/DiffUtil.h"
#include "patch/PendingFile.h"

namespace slv2 {
namespace {

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  for (auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(PendingFile, CommitReplacesTheDestinationAtOnce) {
  test::TempDir dir;
  test::WriteFile(dir / "out.bin", "old");
  {
    TPendingFile pending(dir / "out.bin");
    EXPECT_EQ(pending.Path().substr(0, dir.Path().size()), dir.Path());
    test::WriteFile(pending.Path(), "new");
    EXPECT_EQ(test::ReadFile(dir / "out.bin"), "old");
    pending.Commit();
  }
  EXPECT_EQ(test::ReadFile(dir / "out.bin"), "new");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(PendingFile, WithoutCommitNothingChanges) {
  test::TempDir dir;
  test::WriteFile(dir / "out.bin", "old");
  {
    TPendingFile pending(dir / "out.bin");
    test::WriteFile(pending.Path(), "partial");
  }
  EXPECT_EQ(test::ReadFile(dir / "out.bin"), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  { TPendingFile pending(dir / "fresh.bin"); }
  EXPECT_FALSE(test::PathExists(dir / "fresh.bin"));
}

TEST(PendingFile, FailuresAreReported) {
  test::TempDir dir;
  EXPECT_THROW(TPendingFile(dir / "missing/out.bin"), EDiffUtil);
  test::WriteFile(dir / "locked.bin", "old");
  test::MakeReadOnly(dir / "locked.bin");
  {
    TPendingFile pending(dir / "locked.bin");
    EXPECT_THROW(pending.Commit(), EDiffUtil);
  }
  EXPECT_EQ(test::ReadFile(dir / "locked.bin"), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

}  // namespace
}  // namespace slv2
