#include <gtest/gtest.h>

#include "CfbTestSupport.h"
#include "storage/cfb/CfbStorage.h"
#include "storage/cfb/Names.h"
#include "sys/Cp1251.h"

namespace slv2::cfb::test {
namespace {

TEST(Names, UpperCaseMapsOneUnitToOneUnit) {
  EXPECT_EQ(UpperCase(u'a'), u'A');
  EXPECT_EQ(UpperCase(u'Z'), u'Z');
  EXPECT_EQ(UpperCase(u'ё'), u'Ё');
  EXPECT_EQ(UpperCase(u'я'), u'Я');
  EXPECT_EQ(UpperCase(u'ÿ'), u'Ÿ');
  EXPECT_EQ(UpperCase(u'ā'), u'Ā');  // alternating upper and lower pairs
  EXPECT_EQ(UpperCase(u'Ā'), u'Ā');
  EXPECT_EQ(UpperCase(u'ǆ'), u'Ǆ');  // title case and lower case share
  EXPECT_EQ(UpperCase(u'ǅ'), u'Ǆ');  // an upper case
  EXPECT_EQ(UpperCase(u'ı'), u'I');
  EXPECT_EQ(UpperCase(u'ſ'), u'S');
  EXPECT_EQ(UpperCase(u'ᾳ'), u'ᾼ');
  EXPECT_EQ(UpperCase(u'ａ'), u'Ａ');
  EXPECT_EQ(UpperCase(u'ß'), u'ß');  // no simple upper case: not "SS", not 'ẞ'
  EXPECT_EQ(UpperCase(u'ŉ'), u'ŉ');
  EXPECT_EQ(UpperCase(u'\xD801'), u'\xD801');  // surrogates stay
  EXPECT_EQ(UpperCase(u'1'), u'1');
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
