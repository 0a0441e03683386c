#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/Cp1251.h"

namespace slv2 {
namespace {

using test::A;

TEST(Cp1251, ConvertsEveryByteBothWaysAndUnrepresentableCharactersToQuestionMarks) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
  EXPECT_EQ(AnsiToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
  EXPECT_EQ(AnsiToUtf8("\xB9\x96\x88"), "№–€");
  EXPECT_EQ(AnsiToUtf16("\xA8"), u"Ё");
  EXPECT_EQ(Utf8ToAnsi("a中b"), "a?b");
  EXPECT_EQ(Utf16ToAnsi(u"\U0001F600"), "?");
  EXPECT_EQ(Utf8ToAnsi("\xFF\xFE"), "??");  // malformed UTF-8
}

TEST(Cp1251, FoldsCaseAndClassifiesEveryCyrillicLetter) {
  EXPECT_EQ(AnsiUpperCase(A("файл ёжик ђѓєѕіїјљњћќўџґ")), A("ФАЙЛ ЁЖИК ЂЃЄЅІЇЈЉЊЋЌЎЏҐ"));
  EXPECT_EQ(AnsiLowerCase(A("ФАЙЛ ЁЖИК ЂЃЄЅІЇЈЉЊЋЌЎЏҐ")), A("файл ёжик ђѓєѕіїјљњћќўџґ"));
  EXPECT_EQ(AnsiUpperCase(A("№ « µ")), A("№ « µ"));
  EXPECT_TRUE(AnsiSameText(A("Справка.LNK"), A("СПРАВКА.lnk")));
  EXPECT_FALSE(AnsiSameText("abc", "abd"));
  for (char letter : A("qжЇ"))
    EXPECT_TRUE(IsAnsiAlpha(letter)) << letter;
  for (char other : A("7№"))
    EXPECT_FALSE(IsAnsiAlpha(other)) << other;
}

}  // namespace
}  // namespace slv2
