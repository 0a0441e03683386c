#include <gtest/gtest.h>
#include <unistd.h>

#include "TestSupport.h"
#include "storage/FileUtil.h"

namespace slv2 {
namespace {

using U = TgmFileUtil;

TEST(FileUtilPaths, TrailingDelimitersAreAddedAndRemoved) {
  EXPECT_EQ(U::IncludeTrailingDelimiter("C:", '\\'), "C:");
  EXPECT_EQ(U::IncludeTrailingDelimiter("", '\\'), "\\");
  EXPECT_EQ(U::IncludeTrailingDelimiter("C:\\a", '\\'), "C:\\a\\");
  EXPECT_EQ(U::IncludeTrailingDelimiter("C:\\a/", '\\'), "C:\\a/");
  EXPECT_EQ(U::IncludeTrailingDelimiter("rel/a", '\\'), "rel/a\\");
  EXPECT_EQ(U::IncludeTrailingDelimiter("/opt/a", '\\'), "/opt/a/");
  EXPECT_EQ(U::ExcludeTrailingDelimiters("C:\\"), "C");
  EXPECT_EQ(U::ExcludeTrailingDelimiters("C:\\dir\\\\"), "C:\\dir");
  EXPECT_EQ(U::ExcludeTrailingDelimiters("/opt/a//"), "/opt/a");
  EXPECT_EQ(U::ExcludeTrailingDelimiters("/"), "");
}

TEST(FileUtilPaths, ExtractsFolderNameAndExtension) {
  EXPECT_EQ(U::ExtractFilePath("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(U::ExtractFilePath("/opt/a/b.txt"), "/opt/a/");
  EXPECT_EQ(U::ExtractFilePath("C:b.txt"), "");
  EXPECT_EQ(U::ExtractFileName("C:\\a\\b.tar.gz", false), "b.tar");
  EXPECT_EQ(U::ExtractFileName("C:\\a\\b.tar.gz", true), "b.tar.gz");
  EXPECT_EQ(U::ExtractFileName("C:\\a\\.cfg", false), ".cfg");
  EXPECT_EQ(U::ExtractFileName("a/readme", false), "readme");
  EXPECT_EQ(U::ExtractFileName("C:\\a.d\\", true), "");
  EXPECT_EQ(U::ExtractFileExt("C:\\a\\b.tar.gz", true), ".gz");
  EXPECT_EQ(U::ExtractFileExt("C:\\a\\b.tar.gz", false), "gz");
  EXPECT_EQ(U::ExtractFileExt("C:\\a.d\\readme", true), "");
  EXPECT_EQ(U::ExtractFileExt("/a.d/.cfg", false), "cfg");
  EXPECT_EQ(U::ExtractFileExt("readme.", true), ".");
}

TEST(FileUtilPaths, NormalizesWindowsPathsWithBackslashes) {
  EXPECT_EQ(U::NormalizePath("C:\\a\\.\\b\\..\\c.txt"), "C:\\a\\c.txt");
  EXPECT_EQ(U::NormalizePath("C:\\a\\"), "C:\\a");
  EXPECT_EQ(U::NormalizePath("C:/a//b"), "C:\\a\\b");
  EXPECT_EQ(U::NormalizePath("C:\\.."), "");
  EXPECT_EQ(U::NormalizePath("C:\\a\\..\\..\\b"), "b");
  EXPECT_EQ(U::NormalizePath("..\\a\\.\\"), "..\\a");
  EXPECT_EQ(U::NormalizePath("\\\\srv\\share\\x"), "\\\\srv\\share\\x");
  EXPECT_EQ(U::NormalizePath("//srv/share/x"), "\\\\srv\\share\\x");
  EXPECT_EQ(U::NormalizePath("\\a"), "\\\\a");
  EXPECT_EQ(U::NormalizePath(""), "");
}

TEST(FileUtilPaths, NormalizesPosixPathsKeepingSlashes) {
  EXPECT_EQ(U::NormalizePath("/opt/z/./solvane/../other/"), "/opt/z/other");
  EXPECT_EQ(U::NormalizePath("/opt\\z\\bin//x.dll"), "/opt/z/bin/x.dll");
  EXPECT_EQ(U::NormalizePath("/../../etc"), "/etc");
  EXPECT_EQ(U::NormalizePath("/opt/.."), "/");
  EXPECT_EQ(U::NormalizePath("/"), "/");
}

TEST(FileUtilPaths, CombinesFolderAndNameIntoANormalPath) {
  EXPECT_EQ(U::CombinePath("C:\\Prog", "sub/x.dll"), "C:\\Prog\\sub\\x.dll");
  EXPECT_EQ(U::CombinePath("C:\\Prog", "/a.txt"), "C:\\Prog\\a.txt");
  EXPECT_EQ(U::CombinePath("C:\\Prog\\", "files/x.dll"), "C:\\Prog\\files\\x.dll");
  EXPECT_EQ(U::CombinePath("C:\\Prog", "..\\Other\\x"), "C:\\Other\\x");
  EXPECT_EQ(U::CombinePath("/opt/z/solvane", "..\\other"), "/opt/z/other");
  EXPECT_EQ(U::CombinePath("/opt/z/solvane", "\\bin\\app.dll"), "/opt/z/solvane/bin/app.dll");
  EXPECT_EQ(U::CombinePath("/opt/z/", ""), "/opt/z");
}

TEST(FileUtilPaths, SameFileNameComparesAbsoluteFormsIgnoringAsciiCase) {
  EXPECT_TRUE(U::SameFileName("C:\\A\\b.txt", "c:/a/./b.txt"));
  EXPECT_TRUE(U::SameFileName("/opt/Z/bin/../x", "/OPT/z/x"));
  EXPECT_FALSE(U::SameFileName("C:\\A\\b.txt", "C:\\A\\b.txt2"));
  // Only A to Z fold; Cyrillic letters compare exactly.
  EXPECT_FALSE(U::SameFileName(test::A("/opt/Файл"), test::A("/opt/файл")));
  // A relative name is taken from the current folder.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_TRUE(U::SameFileName("sub\\x.txt", std::string(cwd) + "/SUB/x.txt"));
}

}  // namespace
}  // namespace slv2
