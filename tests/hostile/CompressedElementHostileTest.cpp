// Damaged compressed elements (the compressed-stream header and its zlib
// data) as files of an update storage: a rejected element never replaces the
// installed file.
#include <gtest/gtest.h>

#include "HostileUpdate.h"

namespace slv2::test::hostile {
namespace {

TEST(CompressedElementHostileTest, DamagedElementsNeverReplaceTheInstalledFile) {
  Tally tally("compressed");
  UpdateSetting setting;
  for (const CorpusFile& file : Corpus("compressed")) {
    setting.Reset();
    WriteFile(setting.product + "/data.bin", "installed data");
    StorageWriter(setting.storageFile).Add("files/product/data.bin", file.bytes);
    Verdict verdict;
    if (!setting.Run(file, &verdict)) continue;
    ExpectVerdict(file, verdict);
    tally.Add(file, verdict);
    std::string installed = Content(setting.product + "/data.bin");
    if (verdict.rejected) {
      EXPECT_EQ(installed, "installed data") << file.name;
    } else {
      EXPECT_NE(installed, "installed data") << file.name;
    }
    if (file.name == "ok-plain.z") {
      EXPECT_EQ(installed, file.bytes);
    }
    if (file.name == "ok-empty-content.z") {
      EXPECT_EQ(installed, "");
    }
  }
}

}  // namespace
}  // namespace slv2::test::hostile
