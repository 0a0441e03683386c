#include <stdexcept>

#include "FileUtilTestSupport.h"

namespace slv2 {
namespace {

using U = TgmFileUtil;
using test::A;

// Names and masks fold case as Windows does.
TEST(FileUtilPaths, SplitDelimitNormalizeAndCompareAsWindowsDoes) {
  EXPECT_EQ(U::IncludeTrailingDelimiter("C:", '\\'), "C:");
  EXPECT_EQ(U::IncludeTrailingDelimiter("", '\\'), "\\");
  EXPECT_EQ(U::IncludeTrailingDelimiter("/opt/a", '\\'), "/opt/a/");
  EXPECT_EQ(U::ExcludeTrailingDelimiters("C:\\dir\\\\"), "C:\\dir");
  EXPECT_EQ(U::ExtractFileName("C:\\a\\b.tar.gz", false), "b.tar");
  EXPECT_EQ(U::ExtractFileName("C:\\a\\.cfg", false), ".cfg");
  EXPECT_EQ(U::ExtractFileExt("C:\\a\\b.tar.gz", false), "gz");
  EXPECT_EQ(U::ExtractFileExt("C:\\a.d\\readme", true), "");
  // Windows paths normalize with backslashes, POSIX ones with slashes.
  EXPECT_EQ(U::NormalizePath("C:\\a\\.\\b\\..\\c.txt"), "C:\\a\\c.txt");
  EXPECT_EQ(U::NormalizePath("\\\\srv\\share\\x"), "\\\\srv\\share\\x");
  EXPECT_EQ(U::CombinePath("C:\\Prog\\", "/files/x.dll"), "C:\\Prog\\files\\x.dll");
  EXPECT_EQ(U::NormalizePath("/opt/z/./solvane/../other/"), "/opt/z/other");
  EXPECT_EQ(U::NormalizePath("/../etc\\x"), "/etc/x");
  EXPECT_TRUE(U::SameFileName("C:\\A\\b.txt", "c:/a/./b.txt"));
  EXPECT_FALSE(U::SameFileName(A("/opt/Файл"), A("/opt/файл")));  // A to Z only
  EXPECT_TRUE(U::MatchesMask("README", "*.*", true));
  EXPECT_FALSE(U::MatchesMask("Setup.EXE", "*.exe", true));
  EXPECT_TRUE(U::MatchesMask(A("СПРАВКА.Txt"), A("справ*.TXT"), false));
  EXPECT_TRUE(U::MatchesMask("readme", "read*.", false));      // a bare name gets a dot
  EXPECT_FALSE(U::MatchesMask("sub.d\\readme", "*.", false));  // the folder's dot is taken
  EXPECT_TRUE(U::MatchesAnyMask("APP.CNT", {"*.hlp", "*.cnt"}, false));
}

// The tree and its listings.
class FileUtilTree : public test::FileUtilTree {
 protected:
  using Names = std::vector<std::string>;
  static constexpr uint32_t kFull = TFileListOption::FullNames;
  static constexpr uint32_t kTree = TFileListOption::FullNames | TFileListOption::Recursive;

  // What EnumFiles reports, stopping after `stopAt`; `count` gets its result.
  Names Enum(const std::string& mask, uint32_t filter, int* count = nullptr,
             const std::string& stopAt = "") {
    Names seen;
    auto callback = [&](const std::string& name, uint32_t user) {
      EXPECT_EQ(user, 7u);
      seen.push_back(name);
      return name == stopAt;
    };
    int n = TgmFileUtil::EnumFiles(mask, filter, 7, callback, true);
    if (count) *count = n;
    return seen;
  }
  Names List(const std::string& mask, uint32_t options, TAttrMatch match = TAttrMatch::Any,
             uint32_t attr = 0) {
    Names names;
    EXPECT_TRUE(BuildFileList(mask, attr, names, match, options));
    return names;
  }
};

TEST_F(FileUtilTree, ResolvesNamesIgnoringCaseAndCreatesFoldersUntilOneFails) {
  // Names resolve without case in the file layer.
  test::WriteFile(dir / A("Справка/файл.txt"), "x");
  EXPECT_FALSE(FileExists(dir / A("справка")));
  EXPECT_TRUE(U::DirectoryExists(dir / A("справка\\")));
  EXPECT_TRUE(U::ForceDirectories(dir / A("СПРАВКА/Новая\\x/")));
  EXPECT_TRUE(test::PathExists(dir / A("Справка/Новая/x")));
  EXPECT_FALSE(U::ForceDirectories(dir / ("new/" + std::string(300, 'n') + "/d")));
  EXPECT_TRUE(U::DirectoryExists(dir / "new"));  // levels made before stay
}

TEST_F(FileUtilTree, CopyFileCreatesFoldersAndReplacesReadOnlyTargets) {
  std::string src = dir / "a/f1", dst = dir / "copy/f1";
  EXPECT_TRUE(U::CopyFile(src, dst, false));
  test::WriteFile(dst, "old");
  EXPECT_FALSE(U::CopyFile(src, dst, true));
  EXPECT_EQ(test::ReadFile(dst), "old");
  test::MakeReadOnly(dst);
  EXPECT_TRUE(U::CopyFile(src, dir / "COPY/F1", false));
  EXPECT_EQ(test::ReadFile(dst), "a/f1");
  test::MakeReadOnly(src);  // the copy carries the source's attributes
  EXPECT_TRUE(U::CopyFile(src, dst, false));
  SLV2_SKIP_ON_WINE("CopyFileA leaves the read-only attribute behind");
  EXPECT_TRUE(test::IsReadOnly(dst));
}

TEST_F(FileUtilTree, EnumFilesFiltersCountsAndWalksDepthFirst) {
  int count = 0;
  EXPECT_EQ(Enum(dir / "A/*.*", 0x3F, &count, dir / "A/b/c"),  // c ends b's listing
            (Names{dir / "A/b", dir / "A/f1", dir / "A/g.txt", dir / "A/s", dir / "A/b/c",
                   dir / "A/b/c/x.txt", dir / "A/s/f2.txt", dir / "A/s/t", dir / "A/s/t/h.txt"}));
  EXPECT_EQ(count, 19);  // with the "." and ".." of every folder
  EXPECT_EQ(Enum(dir / "a/*.*", 0x2F, &count, dir / "a/f1"),
            (Names{dir / "a/f1", dir / "a/b/w.txt", dir / "a/b/c/x.txt", dir / "a/s/f2.txt",
                   dir / "a/s/t/h.txt"}));
  auto fail = [](const std::string&, uint32_t) -> bool { throw std::runtime_error("stop"); };
  EXPECT_THROW(U::EnumFiles(dir / "a/*.*", 0x2F, 0, fail, true), std::runtime_error);
}

TEST_F(FileUtilTree, BuildFileListListsDotEntriesAndWalksLevelByLevel) {
  std::string a = dir / "a/";
  EXPECT_EQ(List(a + "*.*", kFull),
            (Names{a + ".", a + "..", a + "b", a + "f1", a + "g.txt", a + "s"}));
  EXPECT_EQ(List(a + "*.txt", kTree), (Names{dir / "a/g.txt", dir / "a/b/w.txt", dir / "a/s/f2.txt",
                                             dir / "a/b/c/x.txt", dir / "a/s/t/h.txt"}));
  EXPECT_TRUE(List(dir / "missing/*.*", kFull).empty());
  test::MakeReadOnly(a + "g.txt");
  EXPECT_EQ(List(a + "*.*", 0, TAttrMatch::Exact, fs::kAttrDirectory),
            (Names{".", "..", "b", "s"}));
  EXPECT_EQ(List(a + "*.*", 0, TAttrMatch::Subset, fs::kAttrReadOnly), (Names{"g.txt"}));
  EXPECT_EQ(List(a + "*.*", 0, TAttrMatch::Superset, fs::kAttrArchive), (Names{"f1"}));
}

TEST_F(FileUtilTree, WindowsFormPathsAreBuiltWithBackslashes) {
  std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(test::FsPath(dir.Path()));
  Names walked = Enum("a\\b\\*.txt", 0x2F), listed = List("a\\*.txt", kTree);
  Names slashed = List("a/*.txt", kFull);  // "/" does not end the folder here
  std::filesystem::current_path(saved);
  EXPECT_EQ(walked, (Names{"a\\b\\w.txt", "a\\b\\c\\x.txt"}));
  EXPECT_EQ(listed,
            (Names{"a\\g.txt", "a\\b\\w.txt", "a\\s\\f2.txt", "a\\b\\c\\x.txt", "a\\s\\t\\h.txt"}));
  EXPECT_EQ(slashed, (Names{"g.txt"}));
}

}  // namespace
}  // namespace slv2
