// Registry scripts: the text the registry editor reads and writes, whole
// texts and files read through a window, and their changes applied.
#include <tuple>

#include "sys/RegTestSupport.h"
#include "sys/registry/RegExport.h"
#include "sys/registry/RegScript.h"
#include "sys/registry/RegScriptFile.h"

namespace slv2::reg {
namespace {

using namespace std::string_literals;
using test::A;
using test::Sz;

// An action as one row: what it does, the key's path or the value's name, the
// value's kind and data.
using Row = std::tuple<ScriptAction::Kind, std::u16string, uint32_t, std::string>;
constexpr auto kKey = ScriptAction::kOpenKey, kDeleteKey = ScriptAction::kDeleteKey,
               kSet = ScriptAction::kSetValue, kDeleteValue = ScriptAction::kDeleteValue;

std::vector<Row> Rows(const RegScript& script) {
  std::vector<Row> rows;
  for (const ScriptAction& a : script.actions) {
    bool key = a.kind == kKey || a.kind == kDeleteKey;
    rows.emplace_back(a.kind, key ? a.path : a.name, a.type, a.data);
  }
  return rows;
}

std::vector<size_t> Lines(const std::vector<ScriptWarning>& warnings) {
  std::vector<size_t> lines;
  for (const ScriptWarning& w : warnings)
    lines.push_back(w.line);
  return lines;
}

TEST(RegScript, ReadsEveryValueSyntaxOfTheEightBitFormat) {
  RegScript script = ParseRegScript(
      "REGEDIT4\r\n\r\n; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Zarvik]\r\n"
      "\"root\"=\"C:\\\\Program Files\\\\\\\"S\\\"\"\r\n"
      "@=\"" +
      A("по умолчанию") +
      "\"\r\n"
      "\"na\\\"me\" = dword:0000002A ; the answer\r\n"
      "\"short\"=DWORD:ff\r\n"
      "\"bin\"=hex:00,01, ff ,7F\r\n"
      "\"empty\"=hex:\r\n"
      "\"expand\"=hex(2):25,41,25,00\r\n"
      "\"multi\"=hex(7):41,00,e0,00,00\r\n"
      "\"qword\"=hex(b):01,02,03,04,\\\r\n   05,06,\\\r\n  07,08\r\n"
      "\"odd\"=hex(12345):1\r\n"
      "\"gone\"=-\r\n"
      "  [-hkcc\\Software\\Old]   \r\n");
  ASSERT_TRUE(script.hasHeader);
  EXPECT_TRUE(script.warnings.empty());
  // Text kinds in the eight-bit format are code-page bytes.
  EXPECT_EQ(Rows(script), (std::vector<Row>{
                              {kKey, u"Software\\Zarvik", kRegNone, ""},
                              {kSet, u"root", kRegSz, Sz(u"C:\\Program Files\\\"S\"")},
                              {kSet, u"", kRegSz, Sz(u"по умолчанию")},
                              {kSet, u"na\"me", kRegDword, "\x2A\0\0\0"s},
                              {kSet, u"short", kRegDword, "\xFF\0\0\0"s},
                              {kSet, u"bin", kRegBinary, "\x00\x01\xFF\x7F"s},
                              {kSet, u"empty", kRegBinary, ""},
                              {kSet, u"expand", kRegExpandSz, Sz(u"%A%")},
                              {kSet, u"multi", kRegMultiSz, StringDataFromUtf16(u"A\0а\0\0"s)},
                              {kSet, u"qword", kRegQword, "\1\2\3\4\5\6\7\x08"s},
                              {kSet, u"odd", 0x12345u, "\x01"},
                              {kDeleteValue, u"gone", kRegNone, ""},
                              {kDeleteKey, u"Software\\Old", kRegNone, ""},
                          }));
  EXPECT_EQ(script.actions.back().root, kHkeyCurrentConfig);
}

TEST(RegScript, SkipsInvalidLinesWithWarningsAndKeepsTheRest) {
  RegScript script = ParseRegScript(
      "REGEDIT4\n"
      "\"early\"=\"no key yet\"\n"      // 2
      "[HKEY_CURRENT_USER\\Good]\n"     // 3
      "\"unterminated=\"x\"\n"          // 4
      "\"a\"=dword:123456789\n"         // 5
      "\"b\"=dword:12 34\n"             // 6
      "\"c\"=hex:01,2g,03,\\\n"         // 7
      "  04,05\n"                       // 8, part of 7
      "\"d\"=\"text\" trailing\n"       // 9
      "\"e\"=hex(x):00\n"               // 10
      "\"f\"\n"                         // 11
      "garbage\n"                       // 12
      "\"kept\"=\"yes\"\n"              // 13
      "[HKEY_NOWHERE\\X]\n"             // 14
      "\"lost\"=\"under a bad key\"\n"  // 15
      "[HKEY_CURRENT_USER\\Unclosed\n"  // 16
      "[-HKEY_CURRENT_USER]\n"          // 17
      "[-HKCU\\Gone]\n"                 // 18
      "\"after\"=\"a deleted key\"\n"   // 19
      "[HKCU\\Last]\n"                  // 20
      "\"ok\"=hex:1,\n");               // 21
  EXPECT_EQ(Lines(script.warnings),
            (std::vector<size_t>{2, 4, 5, 6, 7, 9, 10, 11, 12, 14, 15, 16, 17, 19}));
  EXPECT_EQ(Rows(script), (std::vector<Row>{{kKey, u"Good", kRegNone, ""},
                                            {kSet, u"kept", kRegSz, Sz(u"yes")},
                                            {kDeleteKey, u"Gone", kRegNone, ""},
                                            {kKey, u"Last", kRegNone, ""},
                                            {kSet, u"ok", kRegBinary, "\x01"}}));
}

TEST(RegScript, WithoutTheHeaderNothingIsAScript) {
  for (std::string text : {""s, "[HKEY_CURRENT_USER\\X]\r\n\"a\"=\"b\"\r\n"s,
                           "\r\nREGEDIT4\r\n[HKCU\\X]\r\n"s, "REGEDIT5\r\n[HKCU\\X]\r\n"s}) {
    RegScript script = ParseRegScript(text);
    EXPECT_FALSE(script.hasHeader) << text;
    EXPECT_TRUE(script.actions.empty()) << text;
  }
  // A header in the other encoding, a UTF-8 one and trailing blanks are fine.
  EXPECT_TRUE(ParseRegScript("Windows Registry Editor Version 5.00 \r\n").hasHeader);
  EXPECT_TRUE(ParseRegScript(test::UnicodeFile(u"REGEDIT4")).hasHeader);
  EXPECT_TRUE(ParseRegScript("\xEF\xBB\xBFREGEDIT4\n").hasHeader);
}

TEST(RegScriptApply, MakesTheChangesAndReportsWhatTheRegistryRefuses) {
  test::TempRegistry registry;
  test::SetRegValue(kHkeyCurrentUser, u"Old\\Sub", u"v", kRegSz, Sz(u"x"));
  test::SetRegValue(kHkeyCurrentUser, u"Keep", u"drop", kRegSz, Sz(u"x"));
  RegScript script = ParseRegScript(
      "REGEDIT4\n"
      "[-HKEY_CURRENT_USER\\Old]\n"
      "[-HKEY_CURRENT_USER\\NeverThere]\n"
      "[HKEY_CURRENT_USER\\Keep]\n"
      "\"drop\"=-\n"
      "\"missing\"=-\n"
      "\"new\"=\"value\"\n"
      "[HKEY_CURRENT_CONFIG\\NotHeld]\n"  // 8
      "\"v\"=\"x\"\n"
      "[HKEY_CURRENT_USER\\Bad\\\\Path]\n"  // 10
      "[HKEY_CURRENT_USER\\Keep\\Child]\n"
      "@=\"child\"\n");
  std::vector<ScriptWarning> warnings;
  ASSERT_EQ(ApplyRegScript(script, &warnings), kErrorSuccess);
  SLV2_SKIP_ON_WINE("the registry takes the names Windows refuses");
  EXPECT_EQ(Lines(warnings), (std::vector<size_t>{8, 10}));
  EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Old\\Sub", u"v"), "<missing>");
  EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Keep", u"drop"), "<missing>");
  EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Keep", u"new"), Sz(u"value"));
  EXPECT_EQ(test::ReadRegValue(kHkeyCurrentUser, u"Keep\\Child", u""), Sz(u"child"));
}

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
      {u"q", 0x12345, "\x01", u"\"q\"=hex(12345):01"},
      {u"d", kRegDword, "\x01\x02", u"\"d\"=hex(4):01,02"},
      // Text a quoted string would not give back exactly.
      {u"t", kRegSz, "a\0"s, u"\"t\"=hex(1):61,00"},
      {u"t", kRegSz, "a\0b"s, u"\"t\"=hex(1):61,00,62"},
      {u"t", kRegSz, Sz(u"a\nb"), u"\"t\"=hex(1):61,00,0a,00,62,00,00,00"},
      {u"t", kRegSz, StringDataFromUtf16(u"a\0b\0"s), u"\"t\"=hex(1):61,00,00,00,62,00,00,00"},
      // Long byte lists wrap as the registry editor wraps them.
      {u"long", kRegBinary, std::string(40, '\xAB'),
       u"\"long\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
       u"  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatRegValue(c.name, c.type, c.data), c.line + u"\r\n");
}

// About 3 MiB of text (three windows and more): numbered keys with a
// Cyrillic value each, an invalid line near the end, a hex list continued
// over lines and a value longer than a window.
TEST(RegScriptFile, ImportsAScriptOfSeveralWindowsInEachEncoding) {
  const size_t keys = 10000;
  const std::u16string longText(1100000, u'ж');
  std::u16string text = u"REGEDIT4\r\n";
  for (size_t i = 0; i < keys; ++i) {
    std::u16string n = Utf8ToUtf16(std::to_string(i));
    text += u"[HKEY_CURRENT_USER\\Big\\Ключ" + n + u"]\r\n\"v\"=\"значение " + n + u"\"\r\n";
  }
  text += u"not a line\r\n[HKCU\\Big\\Hex]\r\n\"h\"=hex:01,\\\r\n  02,\\\r\n  03\r\n";
  text += u"\"long\"=\"" + longText + u"\"\r\n";
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

}  // namespace
}  // namespace slv2::reg
