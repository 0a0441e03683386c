#include <gtest/gtest.h>

#include "DiffTestSupport.h"
#include "TestSupport.h"
#include "patch/DiffMaker.h"
#include "patch/DiffUtil.h"

namespace slv2 {
namespace {

class DiffMakerTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return dir_ / name; }
  test::TempDir dir_;
};

TEST_F(DiffMakerTest, ASimilarNewVersionGivesASmallerDifferenceThatApplies) {
  std::string oldData = test::RandomBytes(3 << 20, 1);
  std::string newData = oldData;
  newData.insert(100000, "inserted");
  newData.erase(2000000, 5000);
  test::WriteFile(Path("old"), oldData);
  test::WriteFile(Path("new"), newData);
  TDiffFileResult result = CreateDiffFile(Path("old"), Path("new"), Path("d.diff"));
  EXPECT_TRUE(result.Smaller());
  EXPECT_EQ(result.newSize, int64_t(newData.size()));
  EXPECT_EQ(result.diffSize, int64_t(test::ReadFile(Path("d.diff")).size()));
  EXPECT_TRUE(ApplyDiffFile(Path("old"), Path("rebuilt"), Path("d.diff")));
  EXPECT_TRUE(test::ReadFile(Path("rebuilt")) == newData);
}

TEST_F(DiffMakerTest, AnUnrelatedNewVersionIsNotWorthADifference) {
  test::WriteFile(Path("old"), test::RandomBytes(100000, 2));
  test::WriteFile(Path("new"), test::RandomBytes(100000, 3));
  TDiffFileResult result = CreateDiffFile(Path("old"), Path("new"), Path("d.diff"));
  EXPECT_FALSE(result.Smaller());
  // Both empty: the end block alone is still larger than nothing.
  test::WriteFile(Path("empty"), "");
  EXPECT_FALSE(CreateDiffFile(Path("empty"), Path("empty"), Path("e.diff")).Smaller());
}

TEST_F(DiffMakerTest, FailuresLeaveAnExistingDifferenceAlone) {
  test::WriteFile(Path("new"), "new");
  test::WriteFile(Path("d.diff"), "previous");
  EXPECT_THROW(CreateDiffFile(Path("missing"), Path("new"), Path("d.diff")), EFileOpenError);
  EXPECT_EQ(test::ReadFile(Path("d.diff")), "previous");
  EXPECT_EQ(test::EntryCount(dir_.Path()), 2u);
  EXPECT_THROW(CreateDiffFile(Path("new"), Path("new"), Path("no/folder/d.diff")), EDiffUtil);
}

}  // namespace
}  // namespace slv2
