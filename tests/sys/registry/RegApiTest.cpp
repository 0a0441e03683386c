#include <gtest/gtest.h>

#include <functional>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegApi.h"

namespace slv2::reg {
namespace {

using test::A;

std::string Utf16Data(std::u16string_view text) {
  return StringDataFromUtf16(text);
}

class RegApiTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  HKey Create(std::u16string_view path, uint32_t access = kKeyAllAccess) {
    HKey key = 0;
    EXPECT_EQ(CreateKey(kHkeyCurrentUser, path, access, &key), kErrorSuccess);
    return key;
  }
  std::vector<std::u16string> SubKeys(HKey key) {
    std::vector<std::u16string> names;
    std::u16string name;
    uint32_t rc;
    for (uint32_t i = 0; (rc = EnumKey(key, i, &name)) == kErrorSuccess; ++i)
      names.push_back(name);
    EXPECT_EQ(rc, kErrorNoMoreItems);
    return names;
  }
  std::vector<std::u16string> ValueNames(HKey key) {
    std::vector<std::u16string> names;
    std::u16string name;
    uint32_t type;
    std::string data;
    for (uint32_t i = 0; EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i) {
      names.push_back(name);
    }
    return names;
  }
};

TEST_F(RegApiTest, NamesCompareIgnoringCaseAndKeepTheCaseTheyWereCreatedWith) {
  HKey key = Create(u"Software\\Zarvik\\Ключ");
  HKey same = 0;
  ASSERT_EQ(OpenKey(kHkeyCurrentUser, u"SOFTWARE\\zarvik\\КЛЮЧ\\", kKeyAllAccess, &same),
            kErrorSuccess);
  HKey software = 0;
  ASSERT_EQ(OpenKey(kHkeyCurrentUser, u"software", kKeyRead, &software), kErrorSuccess);
  EXPECT_EQ(SubKeys(software), std::vector<std::u16string>{u"Zarvik"});

  ASSERT_EQ(SetValue(key, u"Имя", kRegDword, "\x01\0\0\0"), kErrorSuccess);
  ASSERT_EQ(SetValue(key, u"second", kRegNone, ""), kErrorSuccess);
  // Replacing through another spelling keeps the first name and its place.
  ASSERT_EQ(SetValue(same, u"иМЯ", kRegBinary, "xy"), kErrorSuccess);
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"Имя", u"second"}));
  uint32_t type;
  std::string data;
  ASSERT_EQ(QueryValue(key, u"ИМЯ", &type, &data), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(data, "xy");
  // Creating an existing key under another spelling opens it.
  bool created = true;
  HKey again = 0;
  ASSERT_EQ(CreateKey(kHkeyCurrentUser, u"software\\ZARVIK\\ключ", kKeyRead, &again, &created),
            kErrorSuccess);
  EXPECT_FALSE(created);
  EXPECT_EQ(ValueNames(again).size(), 2u);
}

TEST_F(RegApiTest, ListsSubkeysByNameAndValuesInCreationOrder) {
  HKey key = Create(u"List");
  for (auto name : {u"b", u"A", u"Я", u"c", u"а"}) {
    HKey sub = 0;
    ASSERT_EQ(CreateKey(key, name, kKeyAllAccess, &sub), kErrorSuccess);
    CloseKey(sub);
  }
  EXPECT_EQ(SubKeys(key), (std::vector<std::u16string>{u"A", u"b", u"c", u"а", u"Я"}));
  for (auto name : {u"z", u"", u"m"})
    ASSERT_EQ(SetValue(key, name, kRegSz, ""), kErrorSuccess);
  ASSERT_EQ(DeleteValue(key, u""), kErrorSuccess);
  ASSERT_EQ(SetValue(key, u"", kRegSz, ""), kErrorSuccess);
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"z", u"m", u""}));
  uint32_t subKeys = 0, values = 0;
  ASSERT_EQ(QueryInfoKey(key, &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(subKeys, 5u);
  EXPECT_EQ(values, 3u);
}

TEST_F(RegApiTest, KeepsEveryKindAndItsBytesExactly) {
  HKey key = Create(u"Kinds");
  std::string bytes("\0\x01\xFF\x80text\0", 9);
  SLV2_SKIP_ON_WINE("RegQueryValueExW adds terminators to text stored without them");
  for (uint32_t type : std::initializer_list<uint32_t>{
           kRegNone, kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegDwordBigEndian, kRegLink,
           kRegMultiSz, kRegResourceList, kRegFullResourceDescriptor, kRegResourceRequirementsList,
           kRegQword, 0x12345u}) {
    std::u16string name = u"v" + AnsiToUtf16(std::to_string(type));
    ASSERT_EQ(SetValue(key, name, type, bytes + static_cast<char>(type)), kErrorSuccess);
    uint32_t read;
    std::string data;
    ASSERT_EQ(QueryValue(key, name, &read, &data), kErrorSuccess);
    EXPECT_EQ(read, type);
    EXPECT_EQ(data, bytes + static_cast<char>(type));
  }
  ASSERT_EQ(SetValue(key, u"empty", kRegBinary, ""), kErrorSuccess);
  uint32_t type;
  std::string data = "x";
  ASSERT_EQ(QueryValue(key, u"empty", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, "");
  EXPECT_EQ(QueryValue(key, u"missing", &type, &data), kErrorFileNotFound);
  EXPECT_EQ(DeleteValue(key, u"missing"), kErrorFileNotFound);
}

TEST_F(RegApiTest, SingleByteCallsConvertTextKindsSoBothFlavoursReadTheSame) {
  HKey key = Create(u"Text");
  ASSERT_EQ(SetValueA(key, A("Путь"), kRegSz, A("C:\\Программы") + '\0'), kErrorSuccess);
  uint32_t type;
  std::string data;
  ASSERT_EQ(QueryValue(key, u"путь", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, Utf16Data(std::u16string(u"C:\\Программы") + u'\0'));

  std::u16string multi = std::u16string(u"один\0二\0\0", 8);
  ASSERT_EQ(SetValue(key, u"multi", kRegMultiSz, Utf16Data(multi)), kErrorSuccess);
  ASSERT_EQ(QueryValueA(key, "MULTI", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, A("один") + std::string("\0?\0\0", 4));

  ASSERT_EQ(SetValueA(key, "bin", kRegBinary, A("ж")), kErrorSuccess);
  ASSERT_EQ(QueryValue(key, u"bin", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, A("ж"));
  std::string name;
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  ASSERT_EQ(EnumValueA(key, 0, &name), kErrorSuccess);
  EXPECT_EQ(name, A("Путь"));
}

TEST_F(RegApiTest, RefusesWhatWindowsRefuses) {
  SLV2_SKIP_ON_WINE(
      "creating below a read-only handle, empty names in paths and names over "
      "255 characters all succeed");
  HKey readOnly = Create(u"Guarded", kKeyRead);
  EXPECT_EQ(SetValue(readOnly, u"v", kRegSz, ""), kErrorAccessDenied);
  HKey sub = 0;
  EXPECT_EQ(CreateKey(readOnly, u"New", kKeyAllAccess, &sub), kErrorAccessDenied);
  HKey parent = Create(u"Parent\\Child");
  EXPECT_EQ(DeleteKey(kHkeyCurrentUser, u"Parent"), kErrorAccessDenied);
  EXPECT_EQ(DeleteKey(kHkeyCurrentUser, u""), kErrorAccessDenied);
  EXPECT_EQ(DeleteKey(kHkeyCurrentUser, u"Nothing"), kErrorFileNotFound);
  EXPECT_EQ(OpenKey(kHkeyCurrentUser, u"Parent\\\\Child", kKeyRead, &sub), kErrorBadPathname);
  EXPECT_EQ(CreateKey(kHkeyCurrentUser, std::u16string(256, u'k'), kKeyRead, &sub),
            kErrorInvalidParameter);
  EXPECT_EQ(SetValue(parent, std::u16string(16384, u'v'), kRegSz, ""), kErrorInvalidParameter);
#ifndef _WIN32
  EXPECT_EQ(OpenKey(kHkeyCurrentConfig, u"", kKeyRead, &sub), kErrorInvalidHandle);
#endif
  EXPECT_EQ(OpenKey(0x1234, u"", kKeyRead, &sub), kErrorInvalidHandle);
  EXPECT_EQ(CloseKey(0x1234), kErrorInvalidHandle);
}

TEST_F(RegApiTest, DeletingATreeInvalidatesItsOpenHandles) {
  HKey child = Create(u"Tree\\Child\\Leaf");
  ASSERT_EQ(SetValue(child, u"v", kRegSz, "x"), kErrorSuccess);
  ASSERT_EQ(DeleteTree(kHkeyCurrentUser, u"tree"), kErrorSuccess);
  uint32_t type;
  std::string data;
  EXPECT_EQ(QueryValue(child, u"v", &type, &data), kErrorKeyDeleted);
  EXPECT_EQ(SetValue(child, u"v", kRegSz, "x"), kErrorKeyDeleted);
  // A new key of the same name is another key.
  Create(u"Tree\\Child\\Leaf");
  EXPECT_EQ(QueryValue(child, u"v", &type, &data), kErrorKeyDeleted);
  EXPECT_EQ(CloseKey(child), kErrorSuccess);
}

}  // namespace
}  // namespace slv2::reg
