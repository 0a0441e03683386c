#include "sys/Cp1251.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace slv2 {
namespace {

using test::A;

TEST(Cp1251, RoundTripsEveryByteThroughUtf8AndUtf16) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
}

TEST(Cp1251, ConvertsCyrillicAndTypographicCharacters) {
  EXPECT_EQ(AnsiToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
  EXPECT_EQ(AnsiToUtf8("\xB9\x96\x88"), "№–€");
  EXPECT_EQ(AnsiToUtf16("\xA8"), u"Ё");
}

TEST(Cp1251, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("a中b"), "a?b");
  EXPECT_EQ(Utf16ToAnsi(u"\U0001F600"), "?");
  EXPECT_EQ(Utf8ToAnsi("\xFF\xFE"), "??");  // malformed UTF-8
}

TEST(Cp1251, FoldsCaseOfEveryCyrillicLetter) {
  EXPECT_EQ(AnsiUpperCase(A("файл ёжик ђѓєѕіїјљњћќўџґ")), A("ФАЙЛ ЁЖИК ЂЃЄЅІЇЈЉЊЋЌЎЏҐ"));
  EXPECT_EQ(AnsiLowerCase(A("ФАЙЛ ЁЖИК ЂЃЄЅІЇЈЉЊЋЌЎЏҐ")), A("файл ёжик ђѓєѕіїјљњћќўџґ"));
  EXPECT_EQ(AnsiUpperCase(A("№ « µ")), A("№ « µ"));
  EXPECT_TRUE(AnsiSameText(A("Справка.LNK"), A("СПРАВКА.lnk")));
  EXPECT_FALSE(AnsiSameText("abc", "abd"));
}

TEST(Cp1251, ClassifiesLettersAsThePlatformDoes) {
  EXPECT_TRUE(IsAnsiAlpha('q'));
  EXPECT_TRUE(IsAnsiAlpha(A("ж")[0]));
  EXPECT_TRUE(IsAnsiAlpha(A("Ї")[0]));
  EXPECT_FALSE(IsAnsiAlpha('7'));
  EXPECT_FALSE(IsAnsiAlpha(A("№")[0]));
}

}  // namespace
}  // namespace slv2
