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
  EXPECT_EQ(ReplaceAll("x", "x", "", false), "");
  EXPECT_EQ(ReplaceAll("Aa", "a", "bb", false), "Abb");
  EXPECT_EQ(ReplaceAll("source", "", "z", true), "source");
  EXPECT_EQ(ReplaceAll("", "abc", "z", true), "");
}

TEST(ReplaceAll, IgnoringCaseFoldsCyrillicAndInsertsTheReplacementAsGiven) {
  std::string text = A("файл Файл ФАЙЛ фАйЛ file");
  EXPECT_EQ(ReplaceAll(text, A("файл"), A("Документ"), true),
            A("Документ Документ Документ Документ file"));
  EXPECT_EQ(ReplaceAll(text, A("файл"), "X", false), A("X Файл ФАЙЛ фАйЛ file"));
  EXPECT_EQ(ReplaceAll(A("ёлка ЁЛКА ґрунт Ґрунт"), A("Ёлка"), "-", true), A("- - ґрунт Ґрунт"));
  EXPECT_EQ(ReplaceAll(A("ґрунт Ґрунт їжак"), A("ҐРУНТ"), "+", true), A("+ + їжак"));
}

TEST(ReplaceAll, SingleBytesAreMappedInPlace) {
  EXPECT_EQ(ReplaceAll("aAbBa", "a", "z", true), "zzbBz");
  EXPECT_EQ(ReplaceAll("aAbBa", "A", "z", false), "azbBa");
  EXPECT_EQ(ReplaceAll(A("яЯ ы"), A("Я"), "_", true), A("__ ы"));
  EXPECT_EQ(ReplaceAll(std::string("a\0a", 3), std::string(1, '\0'), "-", false), "a-a");
}

TEST(JoinPath, PutsExactlyOneBackslashBetweenWindowsParts) {
  EXPECT_EQ(JoinPath("C:\\Prog", "x.dll"), "C:\\Prog\\x.dll");
  EXPECT_EQ(JoinPath("C:\\Prog\\", "\\x.dll"), "C:\\Prog\\x.dll");
  EXPECT_EQ(JoinPath("C:\\Prog", "\\sub\\x.dll"), "C:\\Prog\\sub\\x.dll");
  EXPECT_EQ(JoinPath("C:\\Prog", ""), "C:\\Prog");
  EXPECT_EQ(JoinPath("", "x"), "\\x");
  EXPECT_EQ(JoinPath("", ""), "\\");
  EXPECT_EQ(JoinPath("\\\\srv\\share", "x"), "\\\\srv\\share\\x");
  EXPECT_EQ(JoinPath("rel", "/x"), "rel\\/x");  // only a backslash is absorbed
}

TEST(JoinPath, KeepsPosixPathsInPosixForm) {
  EXPECT_EQ(JoinPath("/opt/z", "x.dll"), "/opt/z/x.dll");
  EXPECT_EQ(JoinPath("/opt/z/", "/x.dll"), "/opt/z/x.dll");
  EXPECT_EQ(JoinPath("/opt/z", "\\sub\\x.dll"), "/opt/z/sub\\x.dll");
  EXPECT_EQ(JoinPath("/opt/z", ""), "/opt/z");
  EXPECT_EQ(JoinPath("/", "etc"), "/etc");
  EXPECT_TRUE(IsPosixFormPath("/"));
  EXPECT_FALSE(IsPosixFormPath("//srv/share"));
  EXPECT_FALSE(IsPosixFormPath("opt/z"));
}

TEST(MatchWildcard, MatchesTheFileMaskExamples) {
  EXPECT_TRUE(MatchWildcard("a.b.txt", "*.txt"));
  EXPECT_TRUE(MatchWildcard("file1.htm", "file?.htm"));
  EXPECT_TRUE(MatchWildcard("abc", "abc*"));
  EXPECT_TRUE(MatchWildcard("x", "*"));
  EXPECT_TRUE(MatchWildcard("readme.", "*.*"));
  EXPECT_TRUE(MatchWildcard("abc", "abc"));
  EXPECT_TRUE(MatchWildcard("", ""));
  EXPECT_FALSE(MatchWildcard("abc.txt", "*.TXT"));
  EXPECT_FALSE(MatchWildcard("readme", "*.*"));
  EXPECT_FALSE(MatchWildcard("", "*"));
  EXPECT_FALSE(MatchWildcard("x", ""));
  EXPECT_FALSE(MatchWildcard("abd", "abc"));
  EXPECT_FALSE(MatchWildcard("ab", "abc"));
}

TEST(MatchWildcard, CommitsToTheFirstOccurrenceAfterAStar) {
  // The pattern ending before the text does not make the star reconsider.
  EXPECT_FALSE(MatchWildcard("a.txt.txt", "*.txt"));
  EXPECT_FALSE(MatchWildcard("abab", "*ab"));
  // A mismatch does: the star then takes one more byte.
  EXPECT_TRUE(MatchWildcard("xaxab", "*ab"));
  EXPECT_TRUE(MatchWildcard("a1b2c", "a*c"));
  // Remaining pattern after the text ran out: only a single star matches.
  EXPECT_FALSE(MatchWildcard("abc", "abc**"));
  EXPECT_FALSE(MatchWildcard("abc", "abc?"));
  EXPECT_FALSE(MatchWildcard("bcd", "*a*"));
}

TEST(MatchWildcard, AQuestionMarkEndsTheReachOfAnEarlierStar) {
  EXPECT_FALSE(MatchWildcard("xaxabc", "*a?c"));
  EXPECT_TRUE(MatchWildcard("xabc", "*a?c"));
  // The byte after the star is sought as a plain byte, even a wildcard.
  EXPECT_TRUE(MatchWildcard("ab?x", "*?x"));
  EXPECT_FALSE(MatchWildcard("abx", "*?x"));
}

}  // namespace
}  // namespace slv2
