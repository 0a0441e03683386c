#include <gtest/gtest.h>

#include "CfbTestSupport.h"
#include "storage/cfb/CfbStorage.h"
#include "storage/cfb/Names.h"
#include "sys/Cp1251.h"

namespace slv2::cfb::test {
namespace {

TEST(Names, UpperCaseMapsOneUnitToOneUnit) {
  // Alternating pairs (ā), title and lower case sharing an upper case (ǅ, ǆ);
  // no simple upper case (ß: not "SS", not 'ẞ'; ŉ); surrogates stay.
  const char16_t pairs[][2] = {{u'a', u'A'},   {u'Z', u'Z'}, {u'ё', u'Ё'}, {u'я', u'Я'},
                               {u'ÿ', u'Ÿ'},   {u'ā', u'Ā'}, {u'Ā', u'Ā'}, {u'ǆ', u'Ǆ'},
                               {u'ǅ', u'Ǆ'},   {u'ı', u'I'}, {u'ſ', u'S'}, {u'ᾳ', u'ᾼ'},
                               {u'ａ', u'Ａ'}, {u'ß', u'ß'}, {u'ŉ', u'ŉ'}, {u'\xD801', u'\xD801'},
                               {u'1', u'1'}};
  for (const auto& [lower, upper] : pairs)
    EXPECT_EQ(UpperCase(lower), upper) << int(lower);
}

TEST(Names, OrderIsLengthFirstThenUpperCasedUnits) {
  EXPECT_LT(CompareNames(u"Z", u"aa"), 0);
  EXPECT_EQ(CompareNames(u"files", u"FILES"), 0);
  EXPECT_LT(CompareNames(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNames(u"b_", u"BA"), 0);  // '_' sorts after 'A' once 'a' is upper case
  EXPECT_EQ(CompareNames(u"справка", u"СПРАВКА"), 0);
  EXPECT_NE(CompareNames(u"ß", u"ẞ"), 0);
  EXPECT_TRUE(IsValidNewName(std::u16string(31, u'x')));
  EXPECT_FALSE(IsValidNewName(std::u16string(32, u'x')));
  EXPECT_FALSE(IsValidNewName(u""));
  for (const char16_t* bad : {u"a/b", u"a\\b", u"a:b", u"a!"})
    EXPECT_FALSE(IsValidNewName(bad));
  EXPECT_FALSE(IsValidNewName(std::u16string(u"a\0b", 3)));
  EXPECT_TRUE(IsValidNewName(u"\x05SummaryInformation"));
}

TEST(Names, ElementsDifferingOnlyBySharpSAreDistinct) {
  // olefile folds 'ẞ' to 'ß' and would call this file damaged: memory only.
  std::unique_ptr<stg::IStorage> root;
  ASSERT_EQ(CreateDocfileOn(std::make_shared<MemoryLockBytes>(), kCreateMode, &root), stg::kS_OK);
  PutStream(*root, u"straße", "sharp");
  PutStream(*root, u"STRAẞE", "capital");
  PutStream(*root, u"ǅ", "title");
  std::unique_ptr<stg::IStream> s;
  EXPECT_EQ(root->CreateStream(u"ǆ", kWriteMode, &s), stg::kStgEFileAlreadyExists);
  EXPECT_EQ(GetStream(*root, u"STRAßE"), "sharp");
  EXPECT_EQ(GetStream(*root, u"straẞe"), "capital");
  EXPECT_EQ(GetStream(*root, u"Ǆ"), "title");
}

}  // namespace
}  // namespace slv2::cfb::test
