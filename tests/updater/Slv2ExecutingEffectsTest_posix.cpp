// A replacement is a rename: a reader of the old file keeps reading the old
// content, and the replaced file keeps its owner. Linux only: Windows
// refuses to rename over a file that is open without delete sharing, which
// the C++ streams do not grant, and it has no owners to give away.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "UpdaterFixture.h"
#include "patch/DiffMaker.h"
#include "sys/Cp1251.h"

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
