#include "CfbTestSupport.h"
#include "storage/cfb/Names.h"

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

// The engine finds a name whatever its case, by the order above (ß and ẞ
// stay apart), keeps the case a name was made with, and refuses names
// longer than 31 units. olefile folds 'ẞ' to 'ß' and would call the file
// damaged: in memory only.
TEST(Names, TheEngineFindsElementsIgnoringCaseAndKeepsTheCaseTheyWereMadeWith) {
  std::unique_ptr<stg::IStorage> root;
  ASSERT_EQ(CreateDocfileOn(std::make_shared<MemoryLockBytes>(), kCreateMode, &root), stg::kS_OK);
  const std::pair<std::u16string, std::u16string> made[] = {
      {u"files", u"Files"},   {u"Справка", u"СПРАВКА"},
      {u"straße", u"STRAßE"}, {u"STRAẞE", u"straẞe"},
      {u"ǅ", u"Ǆ"},           {std::u16string(31, u'n'), std::u16string(31, u'N')}};
  for (const auto& [name, other] : made)
    PutStream(*root, name, Utf16ToUtf8(name));
  for (const auto& [name, other] : made)
    EXPECT_EQ(GetStream(*root, other), Utf16ToUtf8(name)) << Utf16ToUtf8(other);
  std::unique_ptr<stg::IStream> s;
  EXPECT_EQ(root->CreateStream(u"ǆ", kWriteMode, &s), stg::kStgEFileAlreadyExists);
  EXPECT_EQ(root->CreateStream(std::u16string(32, u'n'), kCreateMode, &s), stg::kStgEInvalidName);
  EXPECT_EQ(root->OpenStream(std::u16string(32, u'n'), kNestedRead, &s), stg::kStgEInvalidName);
  stg::StatStg record;
  ASSERT_EQ(root->OpenStream(u"FILES", kNestedRead, &s), stg::kS_OK);
  ASSERT_EQ(s->Stat(&record, stg::kStatFlagDefault), stg::kS_OK);
  EXPECT_EQ(record.name, u"files");
  EXPECT_EQ(record.type, stg::kStgTyStream);
  EXPECT_EQ(record.size, 5u);
  ASSERT_EQ(root->Stat(&record, stg::kStatFlagNoName), stg::kS_OK);
  EXPECT_EQ(record.name, u"");
  EXPECT_EQ(record.type, stg::kStgTyStorage);
}

}  // namespace
}  // namespace slv2::cfb::test
