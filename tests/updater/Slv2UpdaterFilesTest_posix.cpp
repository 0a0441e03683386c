// A replacement is a rename: a reader of the old file keeps reading the old
// content. Linux only: Windows refuses to rename over a file that is open
// without delete sharing, which the C++ streams do not grant.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "UpdaterFixture.h"

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

}  // namespace
}  // namespace slv2::test
