#include <gtest/gtest.h>
#include <pcre.h>

#include <cstring>

#include "TestSupport.h"
#include "sys/PcreRegExp.h"
#include "sys/PcreTables.h"

namespace slv2 {
namespace {

using test::A;

bool Matches(const std::string& pattern, const std::string& subject) {
  return TPcreRegExp(pattern).Match(subject, 1) > 0;
}

TEST(PcreTables, AsciiHalfIsWhatPcreBuildsForTheCLocale) {
  const unsigned char* reference = pcre_maketables();
  const unsigned char* own = Cp1251PcreTables();
  for (int table : {0, 256, 832})
    EXPECT_EQ(std::memcmp(own + table, reference + table, 128), 0);
  for (int map = 512; map < 832; map += 32)
    EXPECT_EQ(std::memcmp(own + map, reference + map, 16), 0);
  pcre_free(const_cast<unsigned char*>(reference));
}

TEST(PcreRegExp, KnowsTheCyrillicLettersAndTheirCase) {
  EXPECT_TRUE(Matches("^\\w+$", A("Ёжик_ґ1")));
  EXPECT_TRUE(Matches("^[[:alpha:]]+$", A("ПриветЇЎ")));
  EXPECT_FALSE(Matches("^[[:alpha:]]+$", A("При№вет")));
  EXPECT_TRUE(Matches("^[[:upper:]][[:lower:]]+$", A("Жёлудь")));
  EXPECT_TRUE(Matches("^[[:punct:]]+$", A("«№»—")));
  EXPECT_FALSE(Matches(A("файл"), A("ФАЙЛ")));
  EXPECT_TRUE(Matches(A("(?i)файл ёлка ґ"), A("ФаЙл ЁЛКА Ґ")));
  EXPECT_TRUE(Matches(A("(?i)\\bПРИВЕТ\\b"), A("ну привет!")));
  // The dot takes line breaks, and anchors refer to the whole text.
  EXPECT_TRUE(Matches("^one.two$", "one\ntwo"));
  EXPECT_FALSE(Matches("^two|one$", "one\ntwo"));
}

TEST(PcreRegExp, ReportsPositionsAndCapturesOfTheLastMatch) {
  TPcreRegExp re("(a)|(b)(c)?");
  EXPECT_EQ(re.Match("xxbz", 1), 3);
  EXPECT_EQ(re.MatchStart(), 2);
  EXPECT_EQ(re.MatchLength(), 1);
  EXPECT_EQ(re.SubString(1) + "|" + re.SubString(2) + "|" + re.SubString(3), "|b|");
  EXPECT_EQ(re.Match(re.Subject(), 4), -1);  // 1-based start: past the only b
  EXPECT_EQ(re.Match("abab", 4), 3);
  EXPECT_EQ(re.MatchStart(), 3);
  EXPECT_LT(re.Match("abab", 9), 0);
}

TEST(PcreRegExp, AnInvalidPatternRaisesNothingAndMatchesNothing) {
  TPcreRegExp re("a(b");
  EXPECT_FALSE(re.Compiled());
  EXPECT_FALSE(re.ErrorText().empty());
  EXPECT_EQ(re.ErrorOffset(), 3);
  EXPECT_LT(re.Match("a(b ab", 1), 0);
  EXPECT_EQ(re.SubString(0), "");
}

}  // namespace
}  // namespace slv2
