// Damaged and hostile binary differences as ".diff" elements of an update
// storage, applied to the installed file they name: a rejected difference
// leaves the installed file as it was.
#include <gtest/gtest.h>

#include "HostileUpdate.h"

namespace slv2::test::hostile {
namespace {

TEST(DiffHostileTest, DamagedDifferencesLeaveTheInstalledFileAsItWas) {
  Tally tally("diff");
  UpdateSetting setting;
  for (const CorpusFile& file : Corpus("diff")) {
    // A case holds the old file's length (16 bits), the old file, then the
    // difference.
    ASSERT_GE(file.bytes.size(), 2u) << file.name;
    size_t oldLength = static_cast<uint8_t>(file.bytes[0]) | static_cast<uint8_t>(file.bytes[1])
                                                                 << 8;
    ASSERT_LE(oldLength + 2, file.bytes.size()) << file.name;
    std::string old = file.bytes.substr(2, oldLength),
                difference = file.bytes.substr(2 + oldLength);
    setting.Reset();
    WriteFile(setting.product + "/data.bin", old);
    StorageWriter(setting.storageFile).Add("files/product/data.bin.diff", difference);
    Verdict verdict;
    if (!setting.Run(file, &verdict)) continue;
    ExpectVerdict(file, verdict);
    tally.Add(file, verdict);
    std::string installed = Content(setting.product + "/data.bin");
    if (verdict.rejected) {
      EXPECT_EQ(installed, old) << file.name;
    }
    if (file.name == "ok-stored.diff") {
      EXPECT_EQ(installed, "replacement");
    }
    if (file.name == "ok-delta.diff") {
      EXPECT_EQ(installed, old.substr(0, 100) + "INSERTED" + old.substr(100));
    }
  }
}

}  // namespace
}  // namespace slv2::test::hostile
