#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/FaultInjection.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

// The hook the fault sweep of the updater rests on: a countdown fails
// exactly one operation of the armed kinds, and the creation switch refuses
// new files only.
TEST(FaultInjection, FailsTheCountedOperationOfTheArmedKindAndCreationsOnDemand) {
  test::TempDir dir;
  FileHandle file = FileHandle::Open(dir / "f.bin", kGenericRead | kGenericWrite, 0, kCreateAlways);
  ASSERT_TRUE(file.Valid());
  fault::Arm(2, fault::kWrite);
  size_t done = 0;
  char buffer[4];
  EXPECT_TRUE(file.Write("ab", 2));
  EXPECT_TRUE(file.ReadAt(0, buffer, 2, &done));  // reads are not armed
  EXPECT_FALSE(file.Write("cd", 2));
  EXPECT_EQ(LastError(), kErrorDiskFull);
  EXPECT_TRUE(fault::Fired());
  EXPECT_TRUE(file.Write("ef", 2));
  EXPECT_EQ(fault::Counted(), 3);
  file.Close();
  EXPECT_EQ(test::ReadFile(dir / "f.bin"), "abef");
  fault::Arm(1, fault::kRename);
  EXPECT_FALSE(MoveFile(dir / "f.bin", dir / "g.bin"));
  EXPECT_EQ(LastError(), kErrorIoDevice);
  fault::Disarm();

  fault::SetCreationFails(true);
  EXPECT_EQ(GetTempFileName(dir.Path(), "tmp"), "");
  EXPECT_FALSE(FileHandle::Open(dir / "new.txt", kGenericWrite, 0, kCreateAlways).Valid());
  EXPECT_FALSE(CreateDirectory(dir / "sub"));
  EXPECT_TRUE(FileHandle::Open(dir / "f.bin", kGenericWrite, 0, kCreateAlways).Valid());
  fault::SetCreationFails(false);
}

}  // namespace
}  // namespace slv2::fs
