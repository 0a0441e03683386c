// Hostile ini elements of an update storage (the delete, replace and unpack
// lists): entries that climb out of the product folder or name absolute
// places are refused, damaged ini elements are ignored with an error, and the
// files of the storage still arrive, unless a damaged nested storage was to be
// unpacked: that ends the product's run first.
#include <gtest/gtest.h>

#include "HostileUpdate.h"

namespace slv2::test::hostile {
namespace {

TEST(IniHostileTest, HostileListsActOnlyInsideTheProductFolder) {
  Tally tally("ini");
  UpdateSetting setting;
  // The storage the unpack lists name: a compound file whose FAT chain cycles.
  std::string nestedLoop = ReadFile(TestDataPath("hostile/cfb/bad-fat-self-loop.stg"));
  for (const CorpusFile& file : Corpus("ini")) {
    // "<element>@<case>.ini": the text of the storage's element.
    size_t at = file.name.find('@');
    ASSERT_NE(at, std::string::npos) << file.name;
    setting.Reset();
    WriteFile(setting.product + "/docs/a.txt", "outside docs");
    WriteFile(setting.product + "/pack.stg", nestedLoop);
    StorageWriter(setting.storageFile)
        .Add(file.name.substr(0, at), file.bytes)
        .Add("files/product/new.txt", "new file");
    Verdict verdict;
    if (!setting.Run(file, &verdict)) continue;
    ExpectVerdict(file, verdict);
    tally.Add(file, verdict);
    // Deleting "*" afterwards takes the new file too.
    bool unpackFailed = verdict.details.find("Error unpacking storage") != std::string::npos;
    if (!file.name.starts_with("Delete_After.ini@masks")) {
      EXPECT_EQ(Content(setting.product + "/new.txt"), unpackFailed ? "<missing>" : "new file")
          << file.name << verdict.details;
    }
    if (file.name.starts_with("UnpackStorage.ini@")) {
      EXPECT_EQ(Content(setting.product + "/pack.stg"), nestedLoop) << file.name;
    }
  }
}

}  // namespace
}  // namespace slv2::test::hostile
