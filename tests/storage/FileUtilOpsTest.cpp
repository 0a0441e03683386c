#include <gtest/gtest.h>

#include "TestSupport.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using U = TgmFileUtil;
using test::A;

class FileUtilOps : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(FileUtilOps, ExistenceTestsTellFilesFromFoldersAndIgnoreCase) {
  test::WriteFile(dir / A("Справка/файл.txt"), "x");
  EXPECT_TRUE(FileExists(dir / A("СПРАВКА\\ФАЙЛ.TXT")));
  EXPECT_FALSE(FileExists(dir / A("справка")));
  EXPECT_TRUE(U::DirectoryExists(dir / A("справка\\")));
  EXPECT_FALSE(U::DirectoryExists(dir / A("Справка/файл.txt")));
  EXPECT_FALSE(FileExists(dir / "missing.txt"));
  EXPECT_FALSE(U::DirectoryExists(dir / "missing"));
}

TEST_F(FileUtilOps, SetFileAttrReportsThePlatformCode) {
  test::WriteFile(dir / "f.txt", "x");
  EXPECT_EQ(U::SetFileAttr(dir / "F.TXT", fs::kAttrReadOnly), 0u);
  EXPECT_EQ(fs::GetFileAttributes(dir / "f.txt") & fs::kAttrReadOnly, fs::kAttrReadOnly);
  EXPECT_EQ(U::SetFileAttr(dir / "f.txt", fs::kAttrNormal), 0u);
  EXPECT_EQ(fs::GetFileAttributes(dir / "f.txt") & fs::kAttrReadOnly, 0u);
  EXPECT_EQ(U::SetFileAttr(dir / "none.txt", fs::kAttrNormal), kErrorFileNotFound);
}

TEST_F(FileUtilOps, ForceDirectoriesCreatesEveryMissingLevel) {
  EXPECT_TRUE(U::ForceDirectories(dir / "x\\y/z\\"));
  EXPECT_TRUE(U::DirectoryExists(dir / "x/y/z"));
  EXPECT_TRUE(U::ForceDirectories(dir / "x/y/z"));
  EXPECT_TRUE(U::ForceDirectories(""));
  // An existing level is found whatever its case; new ones keep theirs.
  EXPECT_TRUE(U::ForceDirectories(dir / "X/Y/New"));
  EXPECT_TRUE(test::PathExists(dir / "x/y/New"));
}

TEST_F(FileUtilOps, ForceDirectoriesStopsAtALevelItCannotCreate) {
  test::WriteFile(dir / "a/file", "in the way");
  EXPECT_FALSE(U::ForceDirectories(dir / "a/file/b/c"));
  EXPECT_FALSE(test::PathExists(dir / "a/file/b"));
  // Levels made before the failure stay.
  std::string tooLong(300, 'n');
  EXPECT_FALSE(U::ForceDirectories(dir / ("b/new/" + tooLong + "/d")));
  EXPECT_TRUE(U::DirectoryExists(dir / "b/new"));
}

TEST_F(FileUtilOps, CopyFileCreatesFoldersAndReplacesReadOnlyTargets) {
  test::WriteFile(dir / "src.txt", "new");
  EXPECT_TRUE(U::CopyFile(dir / "src.txt", dir / "deep/er/dst.txt", false));
  EXPECT_EQ(test::ReadFile(dir / "deep/er/dst.txt"), "new");

  test::WriteFile(dir / "ro.txt", "old");
  test::MakeReadOnly(dir / "ro.txt");
  EXPECT_TRUE(U::CopyFile(dir / "src.txt", dir / "RO.txt", false));
  EXPECT_EQ(test::ReadFile(dir / "ro.txt"), "new");
  EXPECT_EQ(fs::GetFileAttributes(dir / "ro.txt") & fs::kAttrReadOnly, 0u);

  // The copy carries the source's attributes.
  test::MakeReadOnly(dir / "src.txt");
  EXPECT_TRUE(U::CopyFile(dir / "src.txt", dir / "ro.txt", false));
  EXPECT_EQ(fs::GetFileAttributes(dir / "ro.txt") & fs::kAttrReadOnly, fs::kAttrReadOnly);
}

TEST_F(FileUtilOps, CopyFileFailsWithoutDamage) {
  test::WriteFile(dir / "src.txt", "new");
  test::WriteFile(dir / "dst.txt", "old");
  EXPECT_FALSE(U::CopyFile(dir / "src.txt", dir / "dst.txt", true));
  EXPECT_EQ(test::ReadFile(dir / "dst.txt"), "old");
  EXPECT_FALSE(U::CopyFile(dir / "missing.txt", dir / "dst.txt", false));
  test::WriteFile(dir / "blocker", "");
  EXPECT_FALSE(U::CopyFile(dir / "src.txt", dir / "blocker/dst.txt", false));
}

TEST(FileUtilTemp, TempFilesAreNewEmptyFilesInTheTempFolder) {
  test::TempDir dir;
  std::string folder = U::GetTempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  std::string a = U::GetTempFileName(), b = U::GetTempFileName();
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(folder + "tmp", 0), 0u);
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(test::ReadFile(a), "");
  EXPECT_TRUE(fs::DeleteFile(a));
  EXPECT_TRUE(fs::DeleteFile(b));
  std::string own = U::GetTempFileName(dir.Path(), "upd");
  EXPECT_EQ(own.rfind(dir.Path() + "/upd", 0), 0u);
  EXPECT_EQ(U::GetTempFileName(dir / "missing", "tmp"), "");
}

}  // namespace
}  // namespace slv2
