#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "TestSupport.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"

namespace slv2 {
namespace {

using Names = std::vector<std::string>;

class FileUtilList : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir / "d/x.chi", "");
    test::WriteFile(dir / "d/notes.txt", "");
    test::WriteFile(dir / "d/a/y.CHI", "");
    test::WriteFile(dir / "d/a/aa/z.chi", "");
    test::WriteFile(dir / "d/b/w.chi", "");
    test::MakeReadOnly(dir / "d/x.chi");
  }

  Names List(const std::string& mask, uint32_t options, TAttrMatch match = TAttrMatch::Any,
             uint32_t attr = 0) {
    Names names{"kept"};
    EXPECT_TRUE(BuildFileList(mask, attr, names, match, options));
    EXPECT_EQ(names.front(), "kept");  // appends, never clears
    return Names(names.begin() + 1, names.end());
  }

  test::TempDir dir;
};

TEST_F(FileUtilList, ListsEverythingTheMaskMatchesDotEntriesIncluded) {
  std::string d = dir / "d/";
  EXPECT_EQ(List(dir / "d/*.*", TFileListOption::FullNames),
            (Names{d + ".", d + "..", d + "a", d + "b", d + "notes.txt", d + "x.chi"}));
  EXPECT_EQ(List(dir / "d/*.chi", TFileListOption::FullNames), (Names{d + "x.chi"}));
  EXPECT_EQ(List(dir / "d/*.chi", 0), (Names{"x.chi"}));
  EXPECT_TRUE(List(dir / "missing/*.*", TFileListOption::FullNames).empty());
}

TEST_F(FileUtilList, RecursiveListingGoesLevelByLevel) {
  std::string d = dir / "d/";
  EXPECT_EQ(List(dir / "d/*.chi", TFileListOption::FullNames | TFileListOption::Recursive),
            (Names{d + "x.chi", d + "a/y.CHI", d + "b/w.chi", d + "a/aa/z.chi"}));
  EXPECT_EQ(List(dir / "d/*.chi", TFileListOption::Recursive),
            (Names{"x.chi", "y.CHI", "w.chi", "z.chi"}));
}

TEST_F(FileUtilList, RecursiveListingListsButDoesNotEnterLinkedFolders) {
  std::filesystem::create_directory_symlink(AnsiToUtf8(dir / "d"), AnsiToUtf8(dir / "d/b/up"));
  std::string d = dir / "d/";
  EXPECT_EQ(List(dir / "d/*.chi", TFileListOption::FullNames | TFileListOption::Recursive),
            (Names{d + "x.chi", d + "a/y.CHI", d + "b/w.chi", d + "a/aa/z.chi"}));
  EXPECT_EQ(List(dir / "d/b/*", TFileListOption::Recursive), (Names{".", "..", "up", "w.chi"}));
}

TEST_F(FileUtilList, WindowsFormMasksSplitAtBackslashOrColonOnly) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(AnsiToUtf8(dir.Path()).c_str()), 0);
  Names recursive = List("d\\*.chi", TFileListOption::FullNames | TFileListOption::Recursive);
  Names slashed = List("d/*.chi", TFileListOption::FullNames);
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_EQ(recursive, (Names{"d\\x.chi", "d\\a\\y.CHI", "d\\b\\w.chi", "d\\a\\aa\\z.chi"}));
  EXPECT_EQ(slashed, (Names{"x.chi"}));  // "/" is not a delimiter of the split
}

TEST_F(FileUtilList, AttributeMatchesSelectByTheEntrysBits) {
  std::string d = dir / "d/";
  // Exact: only what carries exactly the folder bit.
  EXPECT_EQ(List(dir / "d/*.*", 0, TAttrMatch::Exact, fs::kAttrDirectory),
            (Names{".", "..", "a", "b"}));
  // Subset: every bit asked for is set.
  EXPECT_EQ(List(dir / "d/*.*", 0, TAttrMatch::Subset, fs::kAttrReadOnly), (Names{"x.chi"}));
  // Superset: nothing outside what is asked for; folders are not even listed.
  EXPECT_EQ(List(dir / "d/*.*", 0, TAttrMatch::Superset, fs::kAttrArchive), (Names{"notes.txt"}));
  EXPECT_EQ(List(dir / "d/*.*", 0, TAttrMatch::Superset, fs::kAttrArchive | fs::kAttrReadOnly),
            (Names{"notes.txt", "x.chi"}));
}

}  // namespace
}  // namespace slv2
