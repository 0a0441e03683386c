#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegExport.h"

namespace slv2::reg {
namespace {

using namespace std::string_literals;

std::string Sz(std::u16string_view text) {
  return StringDataFromUtf16(std::u16string(text) + u'\0');
}

TEST(RegExport, WritesTextAndNumbersReadably) {
  EXPECT_EQ(FormatRegValue(u"root", kRegSz, Sz(u"C:\\Program Files\\\"S\"")),
            u"\"root\"=\"C:\\\\Program Files\\\\\\\"S\\\"\"\r\n");
  EXPECT_EQ(FormatRegValue(u"", kRegSz, Sz(u"中文")), u"@=\"中文\"\r\n");
  EXPECT_EQ(FormatRegValue(u"@", kRegSz, Sz(u"")), u"\"@\"=\"\"\r\n");
  EXPECT_EQ(FormatRegValue(u"a\"b\\", kRegDword, "\x2A\0\0\x80"s),
            u"\"a\\\"b\\\\\"=dword:8000002a\r\n");
}

TEST(RegExport, WritesEverythingElseAsBytes) {
  EXPECT_EQ(FormatRegValue(u"b", kRegBinary, "\x00\xFF\x10"s), u"\"b\"=hex:00,ff,10\r\n");
  EXPECT_EQ(FormatRegValue(u"e", kRegBinary, ""), u"\"e\"=hex:\r\n");
  EXPECT_EQ(FormatRegValue(u"x", kRegExpandSz, Sz(u"%A%")),
            u"\"x\"=hex(2):25,00,41,00,25,00,00,00\r\n");
  EXPECT_EQ(FormatRegValue(u"n", kRegNone, ""), u"\"n\"=hex(0):\r\n");
  EXPECT_EQ(FormatRegValue(u"q", 0x12345, "\x01"), u"\"q\"=hex(12345):01\r\n");
  EXPECT_EQ(FormatRegValue(u"d", kRegDword, "\x01\x02"), u"\"d\"=hex(4):01,02\r\n");
  // Text a quoted string would not give back exactly.
  EXPECT_EQ(FormatRegValue(u"t", kRegSz, "a\0"s), u"\"t\"=hex(1):61,00\r\n");
  EXPECT_EQ(FormatRegValue(u"t", kRegSz, "a\0b"s), u"\"t\"=hex(1):61,00,62\r\n");
  EXPECT_EQ(FormatRegValue(u"t", kRegSz, Sz(u"a\nb")), u"\"t\"=hex(1):61,00,0a,00,62,00,00,00\r\n");
  EXPECT_EQ(FormatRegValue(u"t", kRegSz, StringDataFromUtf16(u"a\0b\0"s)),
            u"\"t\"=hex(1):61,00,00,00,62,00,00,00\r\n");
}

TEST(RegExport, WrapsLongByteListsLikeTheRegistryEditor) {
  std::u16string text = FormatRegValue(u"long", kRegBinary, std::string(40, '\xAB'));
  EXPECT_EQ(text,
            u"\"long\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
            u"  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab\r\n");
  for (size_t start = 0, end; (end = text.find(u"\r\n", start)) != std::u16string::npos;
       start = end + 2) {
    EXPECT_LE(end - start, 80u);
  }
}

class RegExportTreeTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;
};

TEST_F(RegExportTreeTest, WritesKeysDepthFirstInTheRegistrysOrder) {
  for (auto path : {u"Root\\b", u"Root\\A\\Deep", u"Root\\c"}) {
    ScopedKey h;
    ASSERT_EQ(CreateKey(kHkeyCurrentUser, path, kKeyAllAccess, h.Out()), kErrorSuccess);
    ASSERT_EQ(SetValue(h.Get(), u"", kRegSz, Sz(path)), kErrorSuccess);
  }
  std::u16string script;
  ASSERT_EQ(ExportRegKey(kHkeyCurrentUser, u"ROOT", &script), kErrorSuccess);
  EXPECT_EQ(script,
            u"[HKEY_CURRENT_USER\\ROOT]\r\n\r\n"
            u"[HKEY_CURRENT_USER\\ROOT\\A]\r\n\r\n"
            u"[HKEY_CURRENT_USER\\ROOT\\A\\Deep]\r\n@=\"Root\\\\A\\\\Deep\"\r\n\r\n"
            u"[HKEY_CURRENT_USER\\ROOT\\b]\r\n@=\"Root\\\\b\"\r\n\r\n"
            u"[HKEY_CURRENT_USER\\ROOT\\c]\r\n@=\"Root\\\\c\"\r\n\r\n");
  EXPECT_EQ(ExportRegKey(kHkeyCurrentUser, u"Missing", &script), kErrorFileNotFound);
  EXPECT_EQ(RegScriptFileBytes(u"x"),
            "\xFF\xFE" + StringDataFromUtf16(u"Windows Registry Editor Version 5.00\r\n\r\nx"));
}

}  // namespace
}  // namespace slv2::reg
