// Script files imported through the read window: what the parser reads from
// a whole text must come out the same when the text arrives in pieces.
#include <gtest/gtest.h>

#include "RegTestSupport.h"
#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegScriptFile.h"

namespace slv2::reg {
namespace {

using test::Sz;

// About 3 MiB of text (three windows and more): numbered keys with a
// Cyrillic value each, an invalid line near the end, a hex list continued
// over lines and a value longer than a window.
std::u16string LargeScript(size_t keys, const std::u16string& longText) {
  std::u16string text = u"REGEDIT4\r\n";
  for (size_t i = 0; i < keys; ++i) {
    std::u16string n = Utf8ToUtf16(std::to_string(i));
    text += u"[HKEY_CURRENT_USER\\Big\\Ключ" + n + u"]\r\n\"v\"=\"значение " + n + u"\"\r\n";
  }
  text += u"not a line\r\n[HKCU\\Big\\Hex]\r\n\"h\"=hex:01,\\\r\n  02,\\\r\n  03\r\n";
  text += u"\"long\"=\"" + longText + u"\"\r\n";
  return text;
}

TEST(RegScriptFile, ImportsAScriptOfSeveralWindowsInEachEncoding) {
  const size_t keys = 10000;
  const std::u16string longText(1100000, u'ж');
  const std::u16string text = LargeScript(keys, longText);
  const std::string encoded[] = {Utf16ToAnsi(text), "\xEF\xBB\xBF" + Utf16ToUtf8(text),
                                 test::UnicodeFile(text)};
  for (const std::string& bytes : encoded) {
    test::TempRegistry registry;
    test::TempDir dir;
    test::WriteFile(dir / "big.reg", bytes);
    ScriptImport import = ImportRegScriptFile(dir / "big.reg");
    ASSERT_TRUE(import.isScript);
    EXPECT_EQ(import.error, kErrorSuccess);
    ASSERT_EQ(import.warnings.size(), 1u);
    EXPECT_EQ(import.warnings[0].line, 2 * keys + 2);
    for (size_t i : {size_t{0}, keys / 2, keys - 1}) {
      std::u16string n = Utf8ToUtf16(std::to_string(i));
      EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Big\\Ключ" + n, u"v"), Sz(u"значение " + n));
    }
    EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Big\\Hex", u"h"), "\x01\x02\x03");
    EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Big\\Hex", u"long"), Sz(longText));
  }
}

TEST(RegScriptFile, ChangesNothingForWhatIsNotAScript) {
  test::TempRegistry registry;
  test::TempDir dir;
  test::WriteFile(dir / "plain.reg", "[HKEY_CURRENT_USER\\Plain]\r\n\"a\"=\"b\"\r\n");
  test::WriteFile(dir / "empty.reg", "");
  for (const char* name : {"plain.reg", "empty.reg"}) {
    ScriptImport import = ImportRegScriptFile(dir / name);
    EXPECT_FALSE(import.isScript) << name;
    EXPECT_EQ(import.error, kErrorSuccess) << name;
  }
  EXPECT_NE(ImportRegScriptFile(dir / "missing.reg").error, kErrorSuccess);
  EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Plain", u"a"), "<missing>");
}

}  // namespace
}  // namespace slv2::reg
