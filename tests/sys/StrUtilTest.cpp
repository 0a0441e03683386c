#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/StrUtil.h"

namespace slv2 {
namespace {

using test::A;

TEST(ReplaceAll, ReplacesLeftToRightWithoutOverlapsOrRescanning) {
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b", false), "bb");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b", false), "ba");
  EXPECT_EQ(ReplaceAll("abab", "ab", "abab", false), "abababab");
  EXPECT_EQ(ReplaceAll("source", "", "z", true), "source");
}

TEST(ReplaceAll, IgnoringCaseFoldsCyrillicAndInsertsTheReplacementAsGiven) {
  std::string text = A("файл Файл ФАЙЛ фАйЛ file");
  EXPECT_EQ(ReplaceAll(text, A("файл"), A("Док"), true), A("Док Док Док Док file"));
  EXPECT_EQ(ReplaceAll(text, A("файл"), "X", false), A("X Файл ФАЙЛ фАйЛ file"));
  EXPECT_EQ(ReplaceAll(A("ёлка ЁЛКА ґрунт Ґрунт"), A("Ёлка"), "-", true), A("- - ґрунт Ґрунт"));
  // One byte for one byte is mapped in place, with the same folding.
  EXPECT_EQ(ReplaceAll("aAbBa", "a", "z", true), "zzbBz");
  EXPECT_EQ(ReplaceAll(A("яЯї"), A("Я"), "_", true), A("__ї"));
}

TEST(JoinPath, PutsExactlyOneDelimiterBetweenTheParts) {
  EXPECT_EQ(JoinPath("C:\\Prog", "x.dll"), "C:\\Prog\\x.dll");
  EXPECT_EQ(JoinPath("C:\\Prog\\", "\\sub\\x.dll"), "C:\\Prog\\sub\\x.dll");
  EXPECT_EQ(JoinPath("C:\\Prog", ""), "C:\\Prog");
  EXPECT_EQ(JoinPath("", "x"), "\\x");
  EXPECT_EQ(JoinPath("", ""), "\\");
  EXPECT_EQ(JoinPath("rel", "/x"), "rel\\/x");  // only a backslash is absorbed
  // A POSIX path keeps POSIX form.
  EXPECT_EQ(JoinPath("/opt/z", "x.dll"), "/opt/z/x.dll");
  EXPECT_EQ(JoinPath("/opt/z/", "\\x.dll"), "/opt/z/x.dll");
  EXPECT_EQ(JoinPath("//srv/share", "x"), "//srv/share\\x");
}

TEST(IsAbsolutePath, OnlyPathsIndependentOfTheCurrentFolderAndDrive) {
  for (const char* path : {"/opt/zarvik", "/", "C:\\Programs", "d:/x", "\\\\srv\\share",
                           "//srv/share", "\\\\?\\C:\\x"})
    EXPECT_TRUE(IsAbsolutePath(path)) << path;
  for (const char* path :
       {"", "Programs", "..\\x", "./x", "C:", "C:x", "\\Programs", "\\\\", "\\\\\\x", "1:\\x"})
    EXPECT_FALSE(IsAbsolutePath(path)) << path;
}

TEST(MatchWildcard, MatchesByteByByteWithStarsThatCommitAndQuestionMarks) {
  EXPECT_TRUE(MatchWildcard("a.b.txt", "*.txt"));
  EXPECT_TRUE(MatchWildcard("file1.htm", "file?.htm"));
  EXPECT_TRUE(MatchWildcard("x", "*"));
  EXPECT_TRUE(MatchWildcard("readme.", "*.*"));
  EXPECT_FALSE(MatchWildcard("readme", "*.*"));
  EXPECT_FALSE(MatchWildcard("abc.txt", "*.TXT"));
  EXPECT_FALSE(MatchWildcard("", "*"));
  EXPECT_TRUE(MatchWildcard("", ""));
  // A star commits and is reconsidered only on a mismatch.
  EXPECT_FALSE(MatchWildcard("a.txt.txt", "*.txt"));
  EXPECT_FALSE(MatchWildcard("abab", "*ab"));
  EXPECT_TRUE(MatchWildcard("xaxab", "*ab"));
  EXPECT_TRUE(MatchWildcard("abc", "abc*"));
  EXPECT_FALSE(MatchWildcard("abc", "abc**"));
  // A "?" ends the reach of an earlier star.
  EXPECT_FALSE(MatchWildcard("xaxabc", "*a?c"));
  EXPECT_TRUE(MatchWildcard("xabc", "*a?c"));
  // The byte after a star is sought as a plain byte, even a wildcard.
  EXPECT_TRUE(MatchWildcard("ab?x", "*?x"));
  EXPECT_FALSE(MatchWildcard("abx", "*?x"));
}

}  // namespace
}  // namespace slv2
