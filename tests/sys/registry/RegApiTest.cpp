// The registry calls as Windows answers them: names, kinds, refusals, handles.
#include "sys/RegTestSupport.h"

namespace slv2::reg {
namespace {

using Names = std::vector<std::u16string>;

class RegApiTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  HKey Create(std::u16string_view path, uint32_t access = kKeyAllAccess) {
    HKey key = 0;
    EXPECT_EQ(CreateKey(kHkeyCurrentUser, path, access, &key), kErrorSuccess);
    return key;
  }
};

TEST_F(RegApiTest, NamesCompareIgnoringCaseAndKeepTheCaseTheyWereCreatedWith) {
  HKey key = Create(u"Software\\Zarvik\\Ключ");
  HKey same = 0, software = 0;
  ASSERT_EQ(OpenKey(kHkeyCurrentUser, u"SOFTWARE\\zarvik\\КЛЮЧ\\", kKeyAllAccess, &same),
            kErrorSuccess);
  ASSERT_EQ(OpenKey(kHkeyCurrentUser, u"software", kKeyRead, &software), kErrorSuccess);
  EXPECT_EQ(test::Names(software), Names{u"Zarvik"});
  bool created = true;
  HKey again = 0;
  ASSERT_EQ(CreateKey(kHkeyCurrentUser, u"software\\ZARVIK\\ключ", kKeyRead, &again, &created),
            kErrorSuccess);
  EXPECT_FALSE(created);

  ASSERT_EQ(SetValue(key, u"Имя", kRegDword, "\x01\0\0\0"), kErrorSuccess);
  ASSERT_EQ(SetValue(key, u"second", kRegNone, ""), kErrorSuccess);
  // Replacing through another spelling keeps the first name and its place.
  ASSERT_EQ(SetValue(same, u"иМЯ", kRegBinary, "xy"), kErrorSuccess);
  EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"software\\zarvik\\ключ", u"ИМЯ"), "xy");
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_EQ(test::Names(again, true), (Names{u"Имя", u"second"}));
}

TEST_F(RegApiTest, ListsSubkeysByNameAndValuesInCreationOrder) {
  HKey key = Create(u"List");
  for (auto name : {u"b", u"A", u"Я", u"c", u"а"}) {
    HKey sub = 0;
    ASSERT_EQ(CreateKey(key, name, kKeyAllAccess, &sub), kErrorSuccess);
    CloseKey(sub);
  }
  EXPECT_EQ(test::Names(key), (Names{u"A", u"b", u"c", u"а", u"Я"}));
  for (auto name : {u"z", u"", u"m"})
    ASSERT_EQ(SetValue(key, name, kRegSz, ""), kErrorSuccess);
  ASSERT_EQ(DeleteValue(key, u""), kErrorSuccess);
  ASSERT_EQ(SetValue(key, u"", kRegSz, ""), kErrorSuccess);
  uint32_t subKeys = 0, values = 0;
  ASSERT_EQ(QueryInfoKey(key, &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(std::make_pair(subKeys, values), std::make_pair(5u, 3u));
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_EQ(test::Names(key, true), (Names{u"z", u"m", u""}));
}

TEST_F(RegApiTest, KeepsEveryKindAndItsBytesExactly) {
  HKey key = Create(u"Kinds");
  uint32_t type;
  std::string data = "x";
  ASSERT_EQ(SetValue(key, u"empty", kRegBinary, ""), kErrorSuccess);
  ASSERT_EQ(QueryValue(key, u"empty", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, "");
  EXPECT_EQ(QueryValue(key, u"missing", &type, &data), kErrorFileNotFound);
  EXPECT_EQ(DeleteValue(key, u"missing"), kErrorFileNotFound);
  SLV2_SKIP_ON_WINE("RegQueryValueExW adds terminators to text stored without them");
  for (uint32_t kind = kRegNone; kind <= kRegQword + 1; ++kind) {
    uint32_t written = kind > kRegQword ? 0x12345u : kind;
    std::u16string name = u"v" + AnsiToUtf16(std::to_string(written));
    std::string bytes = std::string("\0\x01\xFF\x80text\0", 9) + static_cast<char>(kind);
    ASSERT_EQ(SetValue(key, name, written, bytes), kErrorSuccess);
    ASSERT_EQ(QueryValue(key, name, &type, &data), kErrorSuccess);
    EXPECT_EQ(type, written);
    EXPECT_EQ(data, bytes);
  }
}

TEST_F(RegApiTest, RefusesWhatWindowsRefuses) {
  SLV2_SKIP_ON_WINE(
      "creating below a read-only handle, empty names in paths and names over "
      "255 characters all succeed");
  HKey readOnly = Create(u"Guarded", kKeyRead), parent = Create(u"Parent\\Child"), sub = 0;
  const std::pair<uint32_t, uint32_t> cases[] = {
      {SetValue(readOnly, u"v", kRegSz, ""), kErrorAccessDenied},
      {CreateKey(readOnly, u"New", kKeyAllAccess, &sub), kErrorAccessDenied},
      {DeleteKey(kHkeyCurrentUser, u"Parent"), kErrorAccessDenied},
      {DeleteKey(kHkeyCurrentUser, u""), kErrorAccessDenied},
      {DeleteKey(kHkeyCurrentUser, u"Nothing"), kErrorFileNotFound},
      {OpenKey(kHkeyCurrentUser, u"Parent\\\\Child", kKeyRead, &sub), kErrorBadPathname},
      {CreateKey(kHkeyCurrentUser, std::u16string(256, u'k'), kKeyRead, &sub),
       kErrorInvalidParameter},
      {SetValue(parent, std::u16string(16384, u'v'), kRegSz, ""), kErrorInvalidParameter},
      {OpenKey(0x1234, u"", kKeyRead, &sub), kErrorInvalidHandle},
      {CloseKey(0x1234), kErrorInvalidHandle},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
}

TEST_F(RegApiTest, DeletingATreeInvalidatesItsOpenHandlesForGood) {
  HKey child = Create(u"Tree\\Child\\Leaf");
  ASSERT_EQ(SetValue(child, u"v", kRegSz, "x"), kErrorSuccess);
  ASSERT_EQ(DeleteTree(kHkeyCurrentUser, u"tree"), kErrorSuccess);
  Create(u"Tree\\Child\\Leaf");  // another key of the same name
  uint32_t type;
  std::string data;
  EXPECT_EQ(QueryValue(child, u"v", &type, &data), kErrorKeyDeleted);
  EXPECT_EQ(CloseKey(child), kErrorSuccess);
}

}  // namespace
}  // namespace slv2::reg
