#include <gtest/gtest.h>

#include "RegTestSupport.h"
#include "sys/registry/RegExport.h"

namespace slv2::reg {
namespace {

using namespace std::string_literals;
using test::Sz;

TEST(RegExport, WritesTextAndNumbersReadablyAndEverythingElseAsBytes) {
  struct {
    std::u16string name;
    uint32_t type;
    std::string data;
    std::u16string line;
  } const cases[] = {
      {u"root", kRegSz, Sz(u"C:\\P F\\\"S\""), u"\"root\"=\"C:\\\\P F\\\\\\\"S\\\"\""},
      {u"", kRegSz, Sz(u"中文"), u"@=\"中文\""},
      {u"@", kRegSz, Sz(u""), u"\"@\"=\"\""},
      {u"a\"b\\", kRegDword, "\x2A\0\0\x80"s, u"\"a\\\"b\\\\\"=dword:8000002a"},
      {u"b", kRegBinary, "\x00\xFF\x10"s, u"\"b\"=hex:00,ff,10"},
      {u"e", kRegBinary, "", u"\"e\"=hex:"},
      {u"x", kRegExpandSz, Sz(u"%A%"), u"\"x\"=hex(2):25,00,41,00,25,00,00,00"},
      {u"n", kRegNone, "", u"\"n\"=hex(0):"},
      {u"q", 0x12345, "\x01", u"\"q\"=hex(12345):01"},
      {u"d", kRegDword, "\x01\x02", u"\"d\"=hex(4):01,02"},
      // Text a quoted string would not give back exactly.
      {u"t", kRegSz, "a\0"s, u"\"t\"=hex(1):61,00"},
      {u"t", kRegSz, "a\0b"s, u"\"t\"=hex(1):61,00,62"},
      {u"t", kRegSz, Sz(u"a\nb"), u"\"t\"=hex(1):61,00,0a,00,62,00,00,00"},
      {u"t", kRegSz, StringDataFromUtf16(u"a\0b\0"s), u"\"t\"=hex(1):61,00,00,00,62,00,00,00"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatRegValue(c.name, c.type, c.data), c.line + u"\r\n");
}

TEST(RegExport, WrapsLongByteListsLikeTheRegistryEditor) {
  EXPECT_EQ(FormatRegValue(u"long", kRegBinary, std::string(40, '\xAB')),
            u"\"long\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
            u"  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab\r\n");
}

}  // namespace
}  // namespace slv2::reg
