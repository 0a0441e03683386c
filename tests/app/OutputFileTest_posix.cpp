// An output file is reached from the folder first walked to: a folder on
// the way swapped for a link after the check changes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "app/OutputFile.h"
#include "sys/FileLayer.h"

namespace slv2 {
namespace {

TEST(OutputFileTest, AFolderSwappedForALinkAfterTheWalkIsNotTaken) {
  test::TempDir dir;
  std::filesystem::create_directories(test::FsPath(dir / "logs"));
  std::filesystem::create_directories(test::FsPath(dir / "victim"));
  for (bool create : {true, false}) {
    SCOPED_TRACE(create ? "a new file" : "an existing file");
    TOutputFile output(dir / "logs/run.log");
    ASSERT_EQ(output.Refusal(), "");
    ASSERT_EQ(output.Error(), 0u);
    // What a pupil's process does between the check and the write.
    std::filesystem::rename(test::FsPath(dir / "logs"), test::FsPath(dir / "moved"));
    std::filesystem::create_directory_symlink(test::FsPath(dir / "victim"),
                                              test::FsPath(dir / "logs"));
    fs::FileHandle file = fs::FileHandle::Open(output.Path(), fs::kGenericWrite, 0,
                                               create ? fs::kCreateNew : fs::kOpenAlways);
    ASSERT_TRUE(file.Valid());
    const char* text = create ? "x" : "y";
    ASSERT_TRUE(file.Write(text, 1));
    EXPECT_EQ(test::ListTree(dir / "victim"), std::vector<std::string>{});
    EXPECT_EQ(test::ReadFile(dir / "moved/run.log"), text);
    std::filesystem::remove(test::FsPath(dir / "logs"));
    std::filesystem::rename(test::FsPath(dir / "moved"), test::FsPath(dir / "logs"));
  }
}

}  // namespace
}  // namespace slv2
