#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

TEST(FileLayerPosix, ShareModesHoldAcrossProcesses) {
  test::TempDir dir;
  std::string file = dir / "locked.bin";
  test::WriteFile(file, "data");
  int ready[2], release[2];
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
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(FileHandle::Open(file, kGenericRead, kShareRead, kOpenExisting).Valid());
  for (int fd : {ready[0], ready[1], release[0], release[1]})
    close(fd);
}

}  // namespace
}  // namespace slv2::fs
