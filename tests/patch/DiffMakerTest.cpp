#include <gtest/gtest.h>

#include "DiffTestSupport.h"
#include "TestSupport.h"
#include "patch/DiffMaker.h"
#include "patch/DiffUtil.h"

namespace slv2 {
namespace {

TEST(DiffMaker, TellsWhetherTheDifferenceIsWorthShippingAndItAlwaysApplies) {
  std::string similar = test::RandomBytes(300000, 1);
  similar.insert(100000, "inserted");
  similar.erase(200000, 5000);
  struct Case {
    std::string oldData, newData;
    bool smaller;
  };
  const Case cases[] = {
      {test::RandomBytes(300000, 1), similar, true},
      {test::RandomBytes(100000, 2), test::RandomBytes(100000, 3), false},
      {"", "", false},  // the end block alone is larger than nothing
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    test::WriteFile(dir / "old", c.oldData);
    test::WriteFile(dir / "new", c.newData);
    TDiffFileResult result = CreateDiffFile(dir / "old", dir / "new", dir / "d.diff");
    EXPECT_EQ(result.Smaller(), c.smaller) << c.newData.size();
    EXPECT_EQ(result.newSize, int64_t(c.newData.size()));
    EXPECT_EQ(result.diffSize, int64_t(test::ReadFile(dir / "d.diff").size()));
    EXPECT_TRUE(ApplyDiffFile(dir / "old", dir / "rebuilt", dir / "d.diff"));
    EXPECT_TRUE(test::ReadFile(dir / "rebuilt") == c.newData);
  }
}

}  // namespace
}  // namespace slv2
