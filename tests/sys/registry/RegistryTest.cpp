// The registry as the updaters use it: values by key path, and whole trees
// copied, moved and deleted.
#include "sys/RegTestSupport.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/RegistryUtil.h"

namespace slv2 {
namespace {

using namespace std::string_literals;
using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using test::A;
using test::DumpRegKey;
using test::SetRegValue;
using test::Sz;

// The message of the ERegistryError that f raises, or "nothing raised".
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ERegistryError& e) {
    return e.Message();
  }
  return "nothing raised";
}

class RegistryTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;
};

TEST_F(RegistryTest, KeyPathsDropOneBackslashAndTheirOwnRootsName) {
  SetRegValue(kHkeyLocalMachine, "Software\\Zarvik", "root", reg::kRegSz, std::string("C:\\S", 5));
  for (const char* path : {"\\Software\\Zarvik", "Software\\Zarvik", "HKLM\\Software\\Zarvik",
                           "\\HKEY_LOCAL_MACHINE\\Software\\Zarvik", "\\software\\ZARVIK"}) {
    EXPECT_TRUE(RegKeyExists(kHkeyLocalMachine, path)) << path;
    EXPECT_EQ(RegReadString(kHkeyLocalMachine, path, "root"), "C:\\S") << path;
  }
  // Root names are recognised only as written, in capitals.
  for (const char* path : {"\\\\Software\\Zarvik", "hklm\\Software\\Zarvik"})
    EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, path)) << path;
  EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, "\\Software\\Zarvik"));
  RegWriteString(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane 2.1\\main", "group",
                 A("C:\\Меню"));
  EXPECT_EQ(test::ReadRegValue(kHkeyLocalMachine, u"Software\\Zarvik\\Solvane 2.1\\main", u"group"),
            Sz(u"C:\\Меню"));
}

TEST_F(RegistryTest, ReadsDropTheLastByteAndGiveTheDefaultOnlyForWhatIsMissing) {
  SetRegValue(kHkeyCurrentUser, "K", "sz", reg::kRegSz, A("Путь") + '\0');
  SetRegValue(kHkeyCurrentUser, "K", "empty", reg::kRegBinary, "");
  SetRegValue(kHkeyCurrentUser, "K", "count", reg::kRegDword, std::string("\x2A\0\0\0", 4));
  SetRegValue(kHkeyCurrentUser, "K", "multi", reg::kRegMultiSz, std::string("a\0\0", 3));
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "sz"), A("Путь"));
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "empty"), "");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, "\\None", "root", "def"), "def");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, "\\K", "none", "def"), "def");
  const std::pair<std::function<void()>, std::string> raises[] = {
      {[] { RegReadString(kHkeyCurrentUser, "\\None", "v"); },
       "Unable to open key \"\\None\" for read"},
      {[] { RegReadString(kHkeyCurrentUser, "\\K", "none"); },
       "Unable to open key \"\\K\" and access value \"none\""},
      {[] { RegReadString(kHkeyCurrentUser, "\\K", "count"); },
       "\"\\K\\count\" is of wrong kind or size"},
      {[] { RegReadStringDef(kHkeyCurrentUser, "K", "multi", "d"); },
       "\"K\\multi\" is of wrong kind or size"},
      {[] { RegKeyExists(kHkeyCurrentUser, "HKLM\\S"); }, "\"HKLM\\S\" does not match RootKey"},
      {[] { RegReadStringDef(kHkeyCurrentUser, "HKLM\\S", "v", "d"); },
       "\"HKLM\\S\" does not match RootKey"},
  };
  for (const auto& [call, message] : raises)
    EXPECT_EQ(MessageOf(call), message);
  SLV2_SKIP_ON_WINE("the registry takes key paths with empty names");
  EXPECT_EQ(MessageOf([&] { RegWriteString(kHkeyCurrentUser, "\\A\\\\B", "v", "x"); }),
            "Unable to open key \"\\A\\\\B\" for write");
}

TEST_F(RegistryTest, CopiesMovesAndDeletesATreeExactlyMergingIntoWhatIsThere) {
  // A product's key with every kind the copy knows, three levels deep.
  const std::u16string key = u"Software\\Zarvik\\Solvane";
  SetRegValue(kHkeyCurrentUser, key, u"", reg::kRegSz, Sz(u"default"));
  SetRegValue(kHkeyCurrentUser, key + u"\\main", u"root", reg::kRegSz, Sz(u"C:\\Программы"));
  SetRegValue(kHkeyCurrentUser, key + u"\\main", u"path", reg::kRegExpandSz, Sz(u"%ProgramFiles%"));
  SetRegValue(kHkeyCurrentUser, key + u"\\main", u"count", reg::kRegDword, "\x2A\0\0\0"s);
  SetRegValue(kHkeyCurrentUser, key + u"\\main", u"blob", reg::kRegBinary, "\0\x01\xFF"s);
  SetRegValue(kHkeyCurrentUser, key + u"\\main\\deep\\deeper", u"", reg::kRegSz, Sz(u"x"));
  SetRegValue(kHkeyCurrentUser, key + u"\\punctuation", u"root", reg::kRegSz, Sz(u"punc"));
  SetRegValue(kHkeyLocalMachine, u"New\\main", u"root", reg::kRegSz, Sz(u"replaced"));
  SetRegValue(kHkeyLocalMachine, u"New\\main", u"installed", reg::kRegSz, Sz(u"kept"));
  test::KeyTree source = DumpRegKey(kHkeyCurrentUser, "Software\\Zarvik\\Solvane");
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane",
                         "\\Software\\Zarvik\\Solvane 2.1"));
  EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, "Software\\Zarvik\\Solvane 2.1"), source);
  // Without the leading backslash; into an existing key.
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "Software\\Zarvik\\Solvane", "New"));
  test::KeyTree merged = source;
  merged["\\main|installed"] = {reg::kRegSz, Sz(u"kept")};
  EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, "New"), merged);
  // A copy a kill cut short (its destination still says so) starts again
  // from nothing, so that nothing of the first attempt is left over.
  SetRegValue(kHkeyLocalMachine, u"Cut\\stray", u"v", reg::kRegSz, Sz(u"left"));
  SetRegValue(kHkeyLocalMachine, u"Cut", u"slv2update: copy incomplete", reg::kRegSz, Sz(u"1"));
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "Software\\Zarvik\\Solvane", "Cut"));
  EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, "Cut"), source);

  ASSERT_TRUE(MoveRegKey(kHkeyLocalMachine, kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane 2.1",
                         "\\Uninstall\\Zarvik:Solvane 2.1"));
  EXPECT_TRUE(DumpRegKey(kHkeyLocalMachine, "Software\\Zarvik\\Solvane 2.1").empty());
  EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, "Uninstall\\Zarvik:Solvane 2.1"), source);
  EXPECT_TRUE(DeleteRegKeyTree(kHkeyLocalMachine, "\\Uninstall\\Zarvik:Solvane 2.1"));
  EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, "Uninstall"), (test::KeyTree{{"", {~0u, ""}}}));
  EXPECT_FALSE(DeleteRegKeyTree(kHkeyLocalMachine, "\\Uninstall\\Zarvik:Solvane 2.1"));
  EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Nothing", "\\Dst"));
  EXPECT_FALSE(MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Nothing", "\\Dst"));
  EXPECT_TRUE(DumpRegKey(kHkeyLocalMachine, "Dst").empty());
}

TEST_F(RegistryTest, AKindTheCopyDoesNotKnowStopsItAndTheMoveKeepsTheSource) {
  SetRegValue(kHkeyCurrentUser, u"Src\\a", u"before", reg::kRegSz, Sz(u"1"));
  SetRegValue(kHkeyCurrentUser, u"Src\\a", u"list", reg::kRegMultiSz, "x\0y\0\0"s);
  SetRegValue(kHkeyCurrentUser, u"Src\\a", u"after", reg::kRegSz, Sz(u"2"));
  SetRegValue(kHkeyCurrentUser, u"Src\\b", u"later", reg::kRegSz, Sz(u"3"));
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Src", "\\Dst"));
  EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, "Dst"),
            (test::KeyTree{{"", {~0u, ""}},
                           {"|slv2update: copy incomplete", {reg::kRegSz, Sz(u"1")}},
                           {"\\a", {~0u, ""}},
                           {"\\a|before", {reg::kRegSz, Sz(u"1")}}}));
  test::KeyTree source = DumpRegKey(kHkeyCurrentUser, "Src");
  EXPECT_FALSE(MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Src", "\\Moved"));
  EXPECT_EQ(DumpRegKey(kHkeyCurrentUser, "Src"), source);
}

#ifndef _WIN32
// The Linux store takes a tree of any depth a registry script gives it; the
// walks over whole trees refuse one deeper than the Windows registry's 512
// levels by name, instead of recursing as deep as it goes.
TEST_F(RegistryTest, TreesDeeperThanTheWindowsRegistryAllowsAreRefusedByName) {
  const std::pair<const char*, std::function<bool()>> walks[] = {
      {"copy", [] { return CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\D", "\\C"); }},
      {"delete", [] { return DeleteRegKeyTree(kHkeyCurrentUser, "\\D"); }},
  };
  for (int levels : {512, 513}) {
    for (const auto& [what, walk] : walks) {
      SCOPED_TRACE(std::string(what) + " " + std::to_string(levels));
      std::u16string key = u"D";
      for (int i = 0; i < levels; ++i)
        key += u"\\k";
      SetRegValue(kHkeyCurrentUser, key, u"v", reg::kRegSz, Sz(u"x"));
      if (levels == 512) {
        EXPECT_TRUE(walk());
      } else {
        EXPECT_TRUE(
            MessageOf([&] { walk(); }).ends_with("\\k\" holds keys more than 512 levels deep"));
      }
      reg::DeleteTree(kHkeyCurrentUser, u"D");
      reg::DeleteTree(kHkeyLocalMachine, u"C");
    }
  }
}
#endif

}  // namespace
}  // namespace slv2
