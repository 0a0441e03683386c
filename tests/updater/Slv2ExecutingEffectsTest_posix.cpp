// A replacement is a rename: a reader of the old file keeps reading the old
// content, and a rename that fails is a failed outcome. Linux only: Windows
// refuses to rename over a file that is open without delete sharing, which
// the C++ streams do not grant, and its file layer has no fault hooks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "UpdaterFixture.h"
#include "patch/DiffMaker.h"
#include "sys/Cp1251.h"
#include "sys/FaultInjection.h"

namespace slv2::test {
namespace {

class ProcessFilesRenameTest : public UpdaterFixture {
 protected:
  void TearDown() override { fs::fault::Disarm(); }
};

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
  fs::fault::Arm(2, fs::fault::kRename);
  std::unique_ptr<TSlv2Updater> updater = Run([](StorageWriter& s) {
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

// A replaced file keeps its owner and group whichever step replaced it (root
// only: nobody else may give a file away).
TEST_F(ProcessFilesRenameTest, EveryKindOfReplacementKeepsTheOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  TempDir scratch;
  WriteFile(scratch / "old", "old text\n");
  WriteFile(scratch / "new", "new text, longer\n");
  CreateDiffFile(scratch / "old", scratch / "new", scratch / "diff");
  std::string compound = CompoundFileBytes(scratch, {{"a", "a"}});
  struct Row {
    const char* kind;
    std::string installed;
    std::function<void(StorageWriter&)> fill;
  };
  for (const Row& row : {
           Row{"replaced", "old", [](StorageWriter& s) { s.Add("files/product/f", "new"); }},
           Row{"difference", "old text\n",
               [&](StorageWriter& s) {
                 s.Add("files/product/f.diff", ReadFile(scratch / "diff"));
               }},
           Row{"merged", compound,
               [&](StorageWriter& s) {
                 s.Add("files/product/f.patch", CompoundFileBytes(scratch, {{"b", "b"}}));
               }},
           Row{"text edited", "old",
               [](StorageWriter& s) {
                 s.Add("StrReplace_After.ini",
                       "[r]\nSearchFor=old\nReplaceWith=new\nIsRegExp=0\nFiles=f\n");
               }},
       }) {
    SCOPED_TRACE(row.kind);
    std::string target = Join(product, "f");
    WriteFile(target, row.installed);
    ASSERT_EQ(::chown(AnsiToUtf8(target).c_str(), 4321, 8765), 0);
    log.Clear();
    Run(row.fill);
    EXPECT_NE(ReadFile(target), row.installed) << log.Text();
    struct stat st;
    ASSERT_EQ(::stat(AnsiToUtf8(target).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
  }
}

}  // namespace
}  // namespace slv2::test
