// Damaged executables whose version resources the updater compares: as a new
// file of the storage against an installed one, and installed against a new
// one. A damaged resource counts as "no version"; it never ends the update.
#include <gtest/gtest.h>

#include "HostileUpdate.h"
#include "sys/version/VerInfo.h"

namespace slv2::test::hostile {
namespace {

TEST(PeVersionHostileTest, DamagedVersionResourcesReadAsNoVersion) {
  Tally tally("pe");
  UpdateSetting setting;
  std::string valid = PeFile("ver_1_9_0_0.exe");
  for (const CorpusFile& file : Corpus("pe")) {
    setting.Reset();
    WriteFile(setting.product + "/app.exe", valid);
    WriteFile(setting.product + "/installed.exe", file.bytes);
    StorageWriter(setting.storageFile)
        .Add("files/product/app.exe", file.bytes)
        .Add("files/product/installed.exe", valid);
    Verdict update;
    if (!setting.Run(file, &update)) continue;
    EXPECT_FALSE(update.rejected) << file.name << ": " << update.details;
    // The verdict on the file itself: the version the reader finds in it.
    Verdict verdict;
    if (!RunHostile(
            file, setting.cwd,
            [&] {
              Verdict v;
              VsFixedFileInfo info;
              if (!GetFixedFileInfo(file.path, info)) {
                v.rejected = true;
                v.message = "no version resource";
              }
              return v;
            },
            &verdict)) {
      continue;
    }
    ExpectVerdict(file, verdict);
    tally.Add(file, verdict);
  }
}

}  // namespace
}  // namespace slv2::test::hostile
