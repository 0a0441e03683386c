#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

using test::A;

class FileLayerTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(FileLayerTest, FindsExistingComponentsIgnoringCaseAndKeepsNewOnesAsGiven) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows resolves letter case itself; NativePath only turns delimiters";
#endif
  test::WriteFile(dir / "bin/app.dll", "old");
  test::WriteFile(dir / A("Справка/файл.txt"), "x");
  EXPECT_EQ(NativePath(dir.Path() + "\\BIN\\App.DLL"), AnsiToUtf8(dir / "bin/app.dll"));
  EXPECT_EQ(NativePath(dir / A("СПРАВКА\\ФАЙЛ.TXT")), AnsiToUtf8(dir / A("Справка/файл.txt")));
  EXPECT_EQ(NativePath(dir / "Bin/New/Sub.txt"), AnsiToUtf8(dir / "bin/New/Sub.txt"));
}

TEST_F(FileLayerTest, UpdatesTheInstalledFileInsteadOfCreatingASecondOne) {
  test::WriteFile(dir / "bin/app.dll", "old");
  FileHandle h = FileHandle::Open(dir / "BIN/App.dll", kGenericWrite, 0, kCreateAlways);
  ASSERT_TRUE(h.Valid());
  ASSERT_TRUE(h.Write("new", 3));
  h.Close();
  EXPECT_EQ(test::ReadFile(dir / "bin/app.dll"), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(test::FsPath(dir / "bin")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(FileLayerTest, ReadOnlyFilesBehaveAsOnWindows) {
  std::string file = dir / "ro.txt";
  test::WriteFile(file, "keep");
  ASSERT_TRUE(SetFileAttributes(file, kAttrReadOnly));
  EXPECT_EQ(GetFileAttributes(file), kAttrArchive | kAttrReadOnly);
  EXPECT_FALSE(DeleteFile(file));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  SLV2_SKIP_ON_WINE("a read-only file is writable when Wine runs as root");
  EXPECT_FALSE(FileHandle::Open(file, kGenericWrite, 0, kOpenExisting).Valid());
  test::WriteFile(dir / "new.txt", "new");
  EXPECT_FALSE(ReplaceFile(dir / "new.txt", file));
  EXPECT_FALSE(CopyFile(dir / "new.txt", file, false));
  EXPECT_EQ(test::ReadFile(file), "keep");
  ASSERT_TRUE(SetFileAttributes(file, kAttrNormal));
  EXPECT_TRUE(ReplaceFile(dir / "new.txt", file));
  EXPECT_EQ(test::ReadFile(file), "new");
  EXPECT_FALSE(test::PathExists(dir / "new.txt"));
}

TEST_F(FileLayerTest, ReportsMissingFilesAndFoldersWithTheirCodes) {
  EXPECT_EQ(GetFileAttributes(dir / "none.txt"), kInvalidFileAttributes);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(GetFileAttributes(dir / "none/x.txt"), kInvalidFileAttributes);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_FALSE(CreateDirectory(dir / "a/b"));
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  ASSERT_TRUE(CreateDirectory(dir / "a"));
  EXPECT_FALSE(CreateDirectory(dir / "A"));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
}

TEST_F(FileLayerTest, ListsDotEntriesFirstThenNamesInOrderMatchingMasksIgnoringCase) {
  test::WriteFile(dir / "b.TXT", "");
  test::WriteFile(dir / "a.txt", "");
  test::WriteFile(dir / "readme", "");
  ASSERT_TRUE(CreateDirectory(dir / "Sub"));
  auto list = [&](const std::string& mask) {
    std::vector<std::string> names;
    DirListing listing(dir / mask);
    FindData entry;
    while (listing.Next(&entry))
      names.push_back(entry.name);
    return std::make_pair(names, listing.Error());
  };
  auto [all, end] = list("*.*");
  EXPECT_EQ(all, (std::vector<std::string>{".", "..", "a.txt", "b.TXT", "readme", "Sub"}));
  EXPECT_EQ(end, kErrorNoMoreFiles);
  EXPECT_EQ(list("*.txt").first, (std::vector<std::string>{"a.txt", "b.TXT"}));
  EXPECT_EQ(list("?.txt").first, list("*.txt").first);
  EXPECT_EQ(list("READ*.*").first, (std::vector<std::string>{"readme"}));
  EXPECT_EQ(list("*.dll").second, kErrorFileNotFound);
  EXPECT_EQ(list("missing/*.*").second, kErrorPathNotFound);
  FindData sub;
  ASSERT_TRUE(DirListing(dir / "s*").Next(&sub));
  EXPECT_EQ(sub.attributes & kAttrDirectory, kAttrDirectory);
}

TEST_F(FileLayerTest, TemporaryFilesAreNewEmptyAndUnique) {
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name = GetTempFileName(dir.Path(), "tmp");
    EXPECT_TRUE(names.insert(name).second);
    EXPECT_TRUE(AnsiSameText(name.substr(0, dir.Path().size() + 4), dir / "tmp")) << name;
    EXPECT_TRUE(AnsiSameText(name.substr(name.size() - 4), ".TMP")) << name;
    EXPECT_EQ(test::ReadFile(name), "");
  }
}

TEST_F(FileLayerTest, ShareModesConflictBetweenOpeners) {
  std::string file = dir / "shared.bin";
  test::WriteFile(file, "data");
  FileHandle reader = FileHandle::Open(file, kGenericRead, kShareRead, kOpenExisting);
  ASSERT_TRUE(reader.Valid());
  // The reader denies writing: a writer must fail, a second reader not.
  EXPECT_FALSE(
      FileHandle::Open(file, kGenericWrite, kShareRead | kShareWrite, kOpenExisting).Valid());
  EXPECT_EQ(LastError(), kErrorSharingViolation);
  EXPECT_TRUE(FileHandle::Open(file, kGenericRead, kShareRead, kOpenExisting).Valid());
  // An exclusive opener is refused while anyone reads.
  EXPECT_FALSE(FileHandle::Open(file, kGenericRead, 0, kOpenExisting).Valid());
  reader.Close();
  EXPECT_TRUE(FileHandle::Open(file, kGenericWrite, 0, kOpenExisting).Valid());
}

TEST_F(FileLayerTest, MoveFileRefusesToOverwriteButRenamesLetterCase) {
  test::WriteFile(dir / "a.txt", "a");
  test::WriteFile(dir / "b.txt", "b");
  EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_TRUE(MoveFile(dir / "a.txt", dir / "A.TXT"));
  EXPECT_EQ(test::ReadFile(dir / "A.TXT"), "a");
  SLV2_SKIP_ON_WINE("MoveFileA keeps the old letter case of a name");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(test::FsPath(dir.Path())))
    names.insert(test::ProgramPath(entry.path().filename()));
  EXPECT_EQ(names, (std::set<std::string>{"A.TXT", "b.txt"}));
}

TEST_F(FileLayerTest, FullPathNamesResolveDotsWithoutTouchingTheDisk) {
#ifdef _WIN32
  EXPECT_EQ(GetFullPathName("C:\\opt\\.\\a\\..\\b/c"), "C:\\opt\\b\\c");
  EXPECT_EQ(GetFullPathName("C:\\.."), "C:\\");
#else
  EXPECT_EQ(GetFullPathName("/opt/./a/../b\\c"), "/opt/b/c");
  EXPECT_EQ(GetFullPathName("/.."), "/");
#endif
}

}  // namespace
}  // namespace slv2::fs
