// A replacement is a rename: a reader of the old file keeps reading the old
// content, and a rename that fails is a failed outcome. Linux only: Windows
// refuses to rename over a file that is open without delete sharing, which
// the C++ streams do not grant, and its file layer has no fault hooks.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "UpdaterFixture.h"
#include "sys/FaultInjection.h"

namespace slv2::test {
namespace {

class ProcessFilesRenameTest : public UpdaterFixture {};

TEST_F(ProcessFilesRenameTest, AReaderOfTheOldFileKeepsReadingItsContent) {
  std::string target = Join(product, "bin/lib.dll");
  WriteFile(target, "old content");
  MakeReadOnly(target);
  // The new file was written beside the old one and renamed over it, never
  // written in place.
  std::ifstream reader(FsPath(target), std::ios::binary);
  Run([](StorageWriter& s) { s.Add("files/product/bin/lib.dll", "new content"); });
  EXPECT_EQ(ReadFile(target), "new content");
  std::string old((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old, "old content");
}

// The outcome of a batched replacement is recorded once its rename is done:
// the one whose rename failed is a failure, in the order of the elements.
TEST_F(ProcessFilesRenameTest, AFailedRenameIsAFailedOutcome) {
  std::unique_ptr<TSlv2Updater> updater;
  fs::fault::Arm(2, fs::fault::kRename);
  struct Disarm {
    ~Disarm() { fs::fault::Disarm(); }
  } disarm;
  updater = Run([](StorageWriter& s) {
    for (const char* name : {"files/product/a.txt", "files/product/b.txt", "files/product/c.txt"})
      s.Add(name, "new");
  });
  ASSERT_TRUE(fs::fault::Fired());
  std::vector<TSlv2Outcome> outcomes = updater->Outcomes();
  ASSERT_EQ(outcomes.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(outcomes[i].target, Join(product, std::string(1, char('a' + i)) + ".txt"));
    EXPECT_EQ(outcomes[i].failure.empty(), i != 1) << outcomes[i].failure;
  }
  EXPECT_FALSE(PathExists(Join(product, "b.txt")));
  EXPECT_EQ(log.Count("ERROR ProcessFile() failed: ESlvUpdater (Error replacing \"" +
                      Join(product, "b.txt")),
            1)
      << log.Text();
}

}  // namespace
}  // namespace slv2::test
