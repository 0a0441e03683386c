#include "sys/FaultInjection.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

class FaultInjectionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    fault::Disarm();
    fault::SetCreationFails(false);
  }
  test::TempDir dir;
};

TEST_F(FaultInjectionTest, TheCountdownFailsExactlyOneOperationOfTheArmedKinds) {
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
}

TEST_F(FaultInjectionTest, ReadsAndRenamesFailAsIoErrors) {
  test::WriteFile(dir / "a.txt", "a");
  fault::Arm(1, fault::kRename);
  EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(LastError(), kErrorIoDevice);
  EXPECT_TRUE(test::PathExists(dir / "a.txt"));
  fault::Arm(1, fault::kRead);
  FileHandle file = FileHandle::Open(dir / "a.txt", kGenericRead, kShareRead, kOpenExisting);
  size_t done = 0;
  char c;
  EXPECT_FALSE(file.Read(&c, 1, &done));
}

TEST_F(FaultInjectionTest, TheCreationSwitchRefusesNewFilesButNotExistingOnes) {
  test::WriteFile(dir / "old.txt", "x");
  fault::SetCreationFails(true);
  EXPECT_EQ(GetTempFileName(dir.Path(), "tmp"), "");
  EXPECT_FALSE(FileHandle::Open(dir / "new.txt", kGenericWrite, 0, kCreateAlways).Valid());
  EXPECT_FALSE(CreateDirectory(dir / "sub"));
  EXPECT_TRUE(FileHandle::Open(dir / "old.txt", kGenericWrite, 0, kCreateAlways).Valid());
  fault::SetCreationFails(false);
  EXPECT_NE(GetTempFileName(dir.Path(), "tmp"), "");
}

}  // namespace
}  // namespace slv2::fs
