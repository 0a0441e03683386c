#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegScript.h"

namespace slv2::reg {
namespace {

using namespace std::string_literals;
using test::A;

std::string Unicode(std::u16string_view text) {
  return "\xFF\xFE" + StringDataFromUtf16(text);
}
std::string Sz(std::u16string_view text) {
  return StringDataFromUtf16(std::u16string(text) + u'\0');
}

std::vector<size_t> WarningLines(const RegScript& script) {
  std::vector<size_t> lines;
  for (const ScriptWarning& w : script.warnings)
    lines.push_back(w.line);
  return lines;
}

TEST(RegScript, ReadsEveryValueSyntaxOfTheEightBitFormat) {
  RegScript script = ParseRegScript(
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_CURRENT_USER\\Software\\Zarvik\\Solvane]\r\n"
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
      "\"qword\"=hex(b):01,02,03,04,\\\r\n"
      "   05,06,\\\r\n"
      "  07,08\r\n"
      "\"odd\"=hex(12345):1\r\n"
      "\"gone\"=-\r\n"
      "  [-HKCU\\Software\\Old]   \r\n");
  ASSERT_TRUE(script.hasHeader);
  EXPECT_TRUE(script.warnings.empty());
  ASSERT_EQ(script.actions.size(), 13u);
  const auto& a = script.actions;
  EXPECT_EQ(a[0].kind, ScriptAction::kOpenKey);
  EXPECT_EQ(a[0].root, kHkeyCurrentUser);
  EXPECT_EQ(a[0].path, u"Software\\Zarvik\\Solvane");
  EXPECT_EQ(a[1].name, u"root");
  EXPECT_EQ(a[1].type, kRegSz);
  EXPECT_EQ(a[1].data, Sz(u"C:\\Program Files\\\"S\""));
  EXPECT_EQ(a[2].name, u"");
  EXPECT_EQ(a[2].data, Sz(u"по умолчанию"));
  EXPECT_EQ(a[3].name, u"na\"me");
  EXPECT_EQ(a[3].type, kRegDword);
  EXPECT_EQ(a[3].data, "\x2A\0\0\0"s);
  EXPECT_EQ(a[4].data, "\xFF\0\0\0"s);
  EXPECT_EQ(a[5].type, kRegBinary);
  EXPECT_EQ(a[5].data, "\x00\x01\xFF\x7F"s);
  EXPECT_EQ(a[6].data, "");
  // Text kinds in the eight-bit format are code-page bytes.
  EXPECT_EQ(a[7].type, kRegExpandSz);
  EXPECT_EQ(a[7].data, Sz(u"%A%"));
  EXPECT_EQ(a[8].type, kRegMultiSz);
  EXPECT_EQ(a[8].data, StringDataFromUtf16(u"A\0а\0\0"s));
  EXPECT_EQ(a[9].type, kRegQword);
  EXPECT_EQ(a[9].data, "\1\2\3\4\5\6\7\x08"s);
  EXPECT_EQ(a[10].type, 0x12345u);
  EXPECT_EQ(a[10].data, "\x01");
  EXPECT_EQ(a[11].kind, ScriptAction::kDeleteValue);
  EXPECT_EQ(a[11].name, u"gone");
  EXPECT_EQ(a[12].kind, ScriptAction::kDeleteKey);
  EXPECT_EQ(a[12].path, u"Software\\Old");
  EXPECT_EQ(a[12].line, 18u);
}

TEST(RegScript, TheUnicodeFormatKeepsEveryCharacterAndByte) {
  RegScript script =
      ParseRegScript(Unicode(u"Windows Registry Editor Version 5.00\n\n"
                             u"[hkey_local_machine\\Software\\中文]\n"
                             u"\"名\"=\"значение 中\"\n"
                             u"\"expand\"=hex(2):25,00,41,00,25,00,00,00\n"));
  ASSERT_TRUE(script.hasHeader);
  ASSERT_EQ(script.actions.size(), 3u);
  EXPECT_EQ(script.actions[0].root, kHkeyLocalMachine);
  EXPECT_EQ(script.actions[0].path, u"Software\\中文");
  EXPECT_EQ(script.actions[1].name, u"名");
  EXPECT_EQ(script.actions[1].data, Sz(u"значение 中"));
  EXPECT_EQ(script.actions[2].data, Sz(u"%A%"));
}

TEST(RegScript, KnowsEveryRootByNameAndShortForm) {
  const std::pair<const char*, HKey> roots[] = {{"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
                                                {"HKCR", kHkeyClassesRoot},
                                                {"HKEY_CURRENT_USER", kHkeyCurrentUser},
                                                {"hkcu", kHkeyCurrentUser},
                                                {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
                                                {"HKLM", kHkeyLocalMachine},
                                                {"HKEY_USERS", kHkeyUsers},
                                                {"HKU", kHkeyUsers},
                                                {"HKUS", kHkeyUsers},
                                                {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
                                                {"HKCC", kHkeyCurrentConfig},
                                                {"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
                                                {"HKEY_DYN_DATA", kHkeyDynData}};
  for (const auto& [name, root] : roots) {
    RegScript script = ParseRegScript("REGEDIT4\n[" + std::string(name) + "\\K]\n");
    ASSERT_EQ(script.actions.size(), 1u) << name;
    EXPECT_EQ(script.actions[0].root, root) << name;
  }
  RegScript root = ParseRegScript("REGEDIT4\n[HKEY_USERS]\n\"v\"=\"x\"\n");
  ASSERT_EQ(root.actions.size(), 2u);
  EXPECT_EQ(root.actions[0].path, u"");
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
  ASSERT_TRUE(script.hasHeader);
  EXPECT_EQ(WarningLines(script),
            (std::vector<size_t>{2, 4, 5, 6, 7, 9, 10, 11, 12, 14, 15, 16, 17, 19}));
  ASSERT_EQ(script.actions.size(), 5u);
  EXPECT_EQ(script.actions[1].name, u"kept");
  EXPECT_EQ(script.actions[2].kind, ScriptAction::kDeleteKey);
  EXPECT_EQ(script.actions[4].name, u"ok");
  EXPECT_EQ(script.actions[4].data, "\x01");
}

TEST(RegScript, WithoutTheHeaderNothingIsAScript) {
  for (std::string text : {""s, "\r\n"s, "[HKEY_CURRENT_USER\\X]\r\n\"a\"=\"b\"\r\n"s,
                           "\r\nREGEDIT4\r\n[HKCU\\X]\r\n"s, "REGEDIT5\r\n[HKCU\\X]\r\n"s,
                           Unicode(u"Windows Registry Editor Version 4.00\r\n[HKCU\\X]\r\n")}) {
    RegScript script = ParseRegScript(text);
    EXPECT_FALSE(script.hasHeader) << text;
    EXPECT_TRUE(script.actions.empty()) << text;
  }
  // A header in the other encoding, a UTF-8 one and trailing blanks are fine.
  EXPECT_TRUE(ParseRegScript("Windows Registry Editor Version 5.00 \r\n").hasHeader);
  EXPECT_TRUE(ParseRegScript(Unicode(u"REGEDIT4")).hasHeader);
  EXPECT_TRUE(ParseRegScript("\xEF\xBB\xBFREGEDIT4\n").hasHeader);
}

class RegScriptApplyTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  std::string Read(HKey root, std::u16string_view key, std::u16string_view name) {
    ScopedKey h;
    uint32_t type;
    std::string data;
    if (OpenKey(root, key, kKeyRead, h.Out()) || QueryValue(h.Get(), name, &type, &data)) {
      return "<missing>";
    }
    return data;
  }
};

TEST_F(RegScriptApplyTest, MakesTheChangesAndReportsWhatTheRegistryRefuses) {
  ScopedKey old;
  ASSERT_EQ(CreateKey(kHkeyCurrentUser, u"Old\\Sub", kKeyAllAccess, old.Out()), kErrorSuccess);
  ASSERT_EQ(SetValue(old.Get(), u"v", kRegSz, Sz(u"x")), kErrorSuccess);
  ScopedKey keep;
  ASSERT_EQ(CreateKey(kHkeyCurrentUser, u"Keep", kKeyAllAccess, keep.Out()), kErrorSuccess);
  ASSERT_EQ(SetValue(keep.Get(), u"drop", kRegSz, Sz(u"x")), kErrorSuccess);

  RegScript script = ParseRegScript(
      "REGEDIT4\n"
      "[-HKEY_CURRENT_USER\\Old]\n"
      "[-HKEY_CURRENT_USER\\NeverThere]\n"
      "[HKEY_CURRENT_USER\\Keep]\n"
      "\"drop\"=-\n"
      "\"missing\"=-\n"
      "\"new\"=\"value\"\n"
      "[HKEY_CURRENT_CONFIG\\NotHeld]\n"
      "\"v\"=\"x\"\n"
      "[HKEY_CURRENT_USER\\Bad\\\\Path]\n"
      "[HKEY_CURRENT_USER\\Keep\\Child]\n"
      "@=\"child\"\n");
  std::vector<ScriptWarning> warnings;
  ASSERT_EQ(ApplyRegScript(script, &warnings), kErrorSuccess);
  std::vector<size_t> lines;
  for (const auto& w : warnings)
    lines.push_back(w.line);
  SLV2_SKIP_ON_WINE("the registry takes the names Windows refuses");
  EXPECT_EQ(lines, (std::vector<size_t>{8, 10}));
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Old\\Sub", u"v"), "<missing>");
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Keep", u"drop"), "<missing>");
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Keep", u"new"), Sz(u"value"));
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Keep\\Child", u""), Sz(u"child"));
}

}  // namespace
}  // namespace slv2::reg
