// The file layer as Windows answers: letter case, read-only files, error
// codes, listings, temporary files and full path names.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/TempNames.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

using test::A;

class FileLayerTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(FileLayerTest, FindsExistingComponentsIgnoringCaseAndUpdatesTheInstalledFile) {
  test::WriteFile(dir / "bin/app.dll", "old");
  test::WriteFile(dir / A("Справка/файл.txt"), "x");
#ifndef _WIN32  // Windows resolves letter case itself
  EXPECT_EQ(NativePath(dir.Path() + "\\BIN\\App.DLL"), AnsiToUtf8(dir / "bin/app.dll"));
  EXPECT_EQ(NativePath(dir / A("СПРАВКА\\ФАЙЛ.TXT")), AnsiToUtf8(dir / A("Справка/файл.txt")));
  EXPECT_EQ(NativePath(dir / "Bin/New/Sub.txt"), AnsiToUtf8(dir / "bin/New/Sub.txt"));
#endif
  FileHandle h = FileHandle::Open(dir / "BIN/App.dll", kGenericWrite, 0, kCreateAlways);
  ASSERT_TRUE(h.Write("new", 3));
  h.Close();
  EXPECT_EQ(test::ReadFile(dir / "bin/app.dll"), "new");
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

TEST_F(FileLayerTest, FailuresCarryTheirWindowsCodes) {
  test::WriteFile(dir / "a.txt", "a");
  test::WriteFile(dir / "b.txt", "b");
  FileHandle reader = FileHandle::Open(dir / "b.txt", kGenericRead, kShareRead, kOpenExisting);
  auto opens = [](const std::string& path, uint32_t access, uint32_t share) {
    return FileHandle::Open(path, access, share, kOpenExisting).Valid();
  };
  const struct {
    const char* what;
    std::function<bool()> call;
    uint32_t error;
  } cases[] = {
      {"attributes of a missing file",
       [&] { return GetFileAttributes(dir / "none.txt") != kInvalidFileAttributes; },
       kErrorFileNotFound},
      {"attributes in a missing folder",
       [&] { return GetFileAttributes(dir / "none/x.txt") != kInvalidFileAttributes; },
       kErrorPathNotFound},
      {"folder in a missing folder", [&] { return CreateDirectory(dir / "none/b"); },
       kErrorPathNotFound},
      {"folder over a file of another case", [&] { return CreateDirectory(dir / "A.TXT"); },
       kErrorAlreadyExists},
      {"move onto a file", [&] { return MoveFile(dir / "a.txt", dir / "b.txt"); },
       kErrorAlreadyExists},
      // The reader denies writing: a writer and an exclusive opener must fail.
      {"writer while a reader denies writing",
       [&] { return opens(dir / "b.txt", kGenericWrite, kShareRead | kShareWrite); },
       kErrorSharingViolation},
      {"exclusive reader while another reads",
       [&] { return opens(dir / "b.txt", kGenericRead, 0); }, kErrorSharingViolation},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(LastError(), c.error) << c.what;
  }
  EXPECT_TRUE(opens(dir / "b.txt", kGenericRead, kShareRead));
  reader.Close();
  EXPECT_TRUE(opens(dir / "b.txt", kGenericWrite, 0));
  // A move only to another letter case renames.
  EXPECT_TRUE(MoveFile(dir / "a.txt", dir / "A.TXT"));
  EXPECT_EQ(test::ReadFile(dir / "A.TXT"), "a");
  SLV2_SKIP_ON_WINE("MoveFileA keeps the old letter case of a name");
  EXPECT_EQ(test::ListTree(dir.Path()), (std::vector<std::string>{"A.TXT", "b.txt"}));
}

TEST_F(FileLayerTest, ListsDotEntriesFirstThenNamesInOrderMatchingMasksIgnoringCase) {
  for (const char* name : {"b.TXT", "a.txt", "readme"})
    test::WriteFile(dir / name, "");
  ASSERT_TRUE(CreateDirectory(dir / "Sub"));
  using Names = std::vector<std::string>;
  auto list = [&](const std::string& mask) {
    Names names;
    DirListing listing(dir / mask);
    FindData entry;
    while (listing.Next(&entry))
      names.push_back(entry.name + (entry.attributes & kAttrDirectory ? "/" : ""));
    return std::make_pair(names, listing.Error());
  };
  const std::pair<const char*, std::pair<Names, uint32_t>> cases[] = {
      {"*.*", {{"./", "../", "a.txt", "b.TXT", "readme", "Sub/"}, kErrorNoMoreFiles}},
      {"?.txt", {{"a.txt", "b.TXT"}, kErrorNoMoreFiles}},
      {"READ*.*", {{"readme"}, kErrorNoMoreFiles}},
      {"*.dll", {{}, kErrorFileNotFound}},
      {"missing/*.*", {{}, kErrorPathNotFound}},
  };
  for (const auto& [mask, expected] : cases)
    EXPECT_EQ(list(mask), expected) << mask;
}

TEST_F(FileLayerTest, TemporaryFilesAreNewEmptyUniqueAndKnownByTheirName) {
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    std::string name = GetTempFileName(dir.Path(), kTempPrefix);
    EXPECT_TRUE(names.insert(name).second);
    EXPECT_TRUE(IsProgramTempName(name.substr(dir.Path().size() + 1))) << name;
    EXPECT_EQ(test::ReadFile(name), "");
  }
  // Wine writes the digits and the extension in lower case.
  const std::pair<const char*, bool> cases[] = {
      {"~SVa43.tmp", true}, {"~sv0.TMP", true},   {"~sv.TMP", false},       {"~sv12345.TMP", false},
      {"~svx1.TMP", false}, {"~tm12.TMP", false}, {"~sv12.TMP.bak", false}, {"~sv12.TXT", false},
  };
  for (const auto& [name, ours] : cases)
    EXPECT_EQ(IsProgramTempName(name), ours) << name;
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
