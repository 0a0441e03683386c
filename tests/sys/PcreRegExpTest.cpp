#include <gtest/gtest.h>
#include <pcre.h>

#include <clocale>
#include <cstdlib>

#include "TestSupport.h"
#include "sys/PcreRegExp.h"
#include "sys/PcreTables.h"

namespace slv2 {
namespace {

using test::A;

bool Matches(const std::string& pattern, const std::string& subject) {
  TPcreRegExp re(pattern);
  return re.Match(subject, 1) > 0;
}

TEST(PcreTables, AsciiHalfIsWhatPcreBuildsForTheCLocale) {
  std::setlocale(LC_CTYPE, "C");
  const unsigned char* reference = pcre_maketables();
  ASSERT_NE(reference, nullptr);
  const unsigned char* own = Cp1251PcreTables();
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(own[i], reference[i]) << "lower-case map " << i;
    EXPECT_EQ(own[256 + i], reference[256 + i]) << "flip map " << i;
    EXPECT_EQ(own[832 + i], reference[832 + i]) << "type bits " << i;
  }
  for (int map = 0; map < 10; ++map) {
    for (int byte = 0; byte < 16; ++byte) {
      EXPECT_EQ(own[512 + map * 32 + byte], reference[512 + map * 32 + byte])
          << "class " << map << " byte " << byte;
    }
  }
  pcre_free(const_cast<unsigned char*>(reference));
}

TEST(PcreRegExp, CyrillicLettersAreWordCharactersAndLetters) {
  EXPECT_TRUE(Matches("^\\w+$", A("Ёжик_ґ1")));
  EXPECT_TRUE(Matches("^[[:alpha:]]+$", A("ПриветЇЎ")));
  EXPECT_FALSE(Matches("^[[:alpha:]]+$", A("При№вет")));
  EXPECT_TRUE(Matches("^[[:upper:]][[:lower:]]+$", A("Жёлудь")));
  EXPECT_FALSE(Matches("^[[:upper:]]+$", A("ЖЁЛУДь")));
  EXPECT_TRUE(Matches("^[[:punct:]]+$", A("«№»—")));
  EXPECT_FALSE(Matches("\\s", A("а\xA0б")));
  TPcreRegExp word("\\b\\w+\\b");
  ASSERT_GT(word.Match(A("«Слово» текст"), 1), 0);
  EXPECT_EQ(word.SubString(0), A("Слово"));
}

TEST(PcreRegExp, CaseIsFoldedOnlyWhenThePatternAsks) {
  EXPECT_FALSE(Matches(A("файл"), A("ФАЙЛ")));
  EXPECT_TRUE(Matches(A("(?i)файл"), A("ФаЙл")));
  EXPECT_TRUE(Matches(A("(?i)ёлка ґ"), A("ЁЛКА Ґ")));
  EXPECT_TRUE(Matches(A("(?i)[а-я]+ё"), A("ЖУРНАЛЁ")));
  EXPECT_TRUE(Matches(A("(?i)\\bПРИВЕТ\\b"), A("ну привет!")));
}

TEST(PcreRegExp, DotMatchesLineBreaksAndAnchorsReferToTheWholeText) {
  EXPECT_TRUE(Matches("a.b", "a\nb"));
  EXPECT_TRUE(Matches("^one.*two$", "one\r\ntwo"));
  EXPECT_FALSE(Matches("^two", "one\ntwo"));
  EXPECT_FALSE(Matches("one$", "one\ntwo"));
}

TEST(PcreRegExp, ReportsPositionsAndCapturesOfTheLastMatch) {
  TPcreRegExp re("(a)|(b)(c)?");
  EXPECT_EQ(re.LastResult(), -1);
  EXPECT_EQ(re.Match("xxbz", 1), 3);
  EXPECT_EQ(re.MatchStart(), 2);
  EXPECT_EQ(re.MatchLength(), 1);
  EXPECT_EQ(re.SubString(0), "b");
  EXPECT_EQ(re.SubString(1), "");  // did not take part
  EXPECT_EQ(re.SubString(2), "b");
  EXPECT_EQ(re.SubString(3), "");  // beyond the pairs set
  EXPECT_EQ(re.SubString(9), "");
  // The start position is 1-based.
  EXPECT_EQ(re.Match("abab", 2), 3);
  EXPECT_EQ(re.MatchStart(), 1);
  EXPECT_EQ(re.Match("abab", 4), 3);
  EXPECT_EQ(re.MatchStart(), 3);
  EXPECT_LT(re.Match("abab", 5), 0);
  EXPECT_LT(re.Match("abab", 9), 0);
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(re.LastResult(), -1);
}

TEST(PcreRegExp, CapturesEveryGroupOfALargePattern) {
  std::string pattern, subject;
  for (char c = 'a'; c <= 'p'; ++c) {
    pattern += std::string("(") + c + ")";
    subject += c;
  }
  TPcreRegExp re(pattern);
  ASSERT_EQ(re.Match(subject, 1), 17);
  EXPECT_EQ(re.SubString(16), "p");
}

TEST(PcreRegExp, KeepsItsOwnCopyOfTheSubject) {
  TPcreRegExp re("b+");
  {
    std::string subject = "abbbc";
    ASSERT_GT(re.Match(subject, 1), 0);
  }
  EXPECT_EQ(re.Subject(), "abbbc");
  EXPECT_EQ(re.SubString(0), "bbb");
  ASSERT_GT(re.Match(re.Subject(), 4), 0);
  EXPECT_EQ(re.MatchStart(), 3);
}

TEST(PcreRegExp, AnInvalidPatternRaisesNothingAndMatchesNothing) {
  TPcreRegExp re("a(b");
  EXPECT_FALSE(re.Compiled());
  EXPECT_FALSE(re.ErrorText().empty());
  EXPECT_EQ(re.ErrorOffset(), 3);
  EXPECT_LT(re.Match("a(b ab", 1), 0);
  EXPECT_EQ(re.SubString(0), "");
  EXPECT_FALSE(re.Compile());
}

}  // namespace
}  // namespace slv2
