#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

using test::A;

class FileLayerPosixTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(FileLayerPosixTest, SymbolicLinksAreMarkedAndRemovedWithoutTheirTarget) {
  test::WriteFile(dir / "outside/keep.txt", "keep");
  std::filesystem::create_directory_symlink(AnsiToUtf8(dir / "outside"), AnsiToUtf8(dir / "link"));
  uint32_t attributes = GetFileAttributes(dir / "link");
  EXPECT_EQ(attributes & (kAttrDirectory | kAttrReparsePoint), kAttrDirectory | kAttrReparsePoint);
  EXPECT_TRUE(RemoveDirectory(dir / "link"));
  EXPECT_EQ(test::ReadFile(dir / "outside/keep.txt"), "keep");
}

TEST_F(FileLayerPosixTest, ShareModesHoldAcrossProcesses) {
  std::string file = dir / "locked.bin";
  test::WriteFile(file, "data");
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  if (child == 0) {
    FileHandle h = FileHandle::Open(file, kGenericRead | kGenericWrite, 0, kOpenExisting);
    char c = h.Valid() ? '1' : '0';
    (void)!write(ready[1], &c, 1);
    (void)!read(release[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, '1');
  EXPECT_FALSE(
      FileHandle::Open(file, kGenericRead, kShareRead | kShareWrite, kOpenExisting).Valid());
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  (void)!write(release[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(FileHandle::Open(file, kGenericRead, kShareRead, kOpenExisting).Valid());
}

}  // namespace
}  // namespace slv2::fs
