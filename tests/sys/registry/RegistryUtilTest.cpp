#include <gtest/gtest.h>

#include <functional>

#include "RegTestSupport.h"
#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/RegistryUtil.h"

namespace slv2 {
namespace {

using namespace std::string_literals;
using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using test::DumpRegTree;
using test::SetRegValue;
using test::Sz;

class RegistryUtilTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  // A product's key with every kind the copy knows, three levels deep.
  static void MakeFamily(reg::HKey root, const std::u16string& key) {
    SetRegValue(root, key, u"", reg::kRegSz, Sz(u"default"));
    SetRegValue(root, key + u"\\main", u"root", reg::kRegSz, Sz(u"C:\\Программы\\Solvane"));
    SetRegValue(root, key + u"\\main", u"path", reg::kRegExpandSz, Sz(u"%ProgramFiles%\\S"));
    SetRegValue(root, key + u"\\main", u"count", reg::kRegDword, "\x2A\0\0\0"s);
    SetRegValue(root, key + u"\\main", u"blob", reg::kRegBinary, "\0\x01\xFF"s);
    SetRegValue(root, key + u"\\main\\deep\\deeper", u"", reg::kRegSz, Sz(u"x"));
    SetRegValue(root, key + u"\\punctuation", u"root", reg::kRegSz, Sz(u"punc"));
  }
};

TEST_F(RegistryUtilTest, CopiesATreeBetweenRootsWithItsValuesExactlyMergingIntoWhatIsThere) {
  MakeFamily(kHkeyCurrentUser, u"Software\\Zarvik\\Solvane");
  SetRegValue(kHkeyLocalMachine, u"New\\main", u"root", reg::kRegSz, Sz(u"replaced"));
  SetRegValue(kHkeyLocalMachine, u"New\\main", u"installed", reg::kRegSz, Sz(u"kept"));
  test::RegTree source = DumpRegTree(kHkeyCurrentUser, u"Software\\Zarvik\\Solvane");
  EXPECT_EQ(source.size(), 12u);
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane",
                         "\\Software\\Zarvik\\Solvane 2.1"));
  EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, u"Software\\Zarvik\\Solvane 2.1"), source);
  // Without the leading backslash; into an existing key.
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "Software\\Zarvik\\Solvane", "New"));
  test::RegTree merged = source;
  merged[u"\\main|installed"] = {reg::kRegSz, Sz(u"kept")};
  EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, u"New"), merged);
  EXPECT_FALSE(RegKeyCopyIncomplete(kHkeyLocalMachine, "New"));
  // A copy a kill cut short (its destination still says so) starts again
  // from nothing, so that nothing of the first attempt is left over.
  SetRegValue(kHkeyLocalMachine, u"Cut\\stray", u"v", reg::kRegSz, Sz(u"left"));
  SetRegValue(kHkeyLocalMachine, u"Cut", u"slv2update: copy incomplete", reg::kRegSz, Sz(u"1"));
  ASSERT_TRUE(RegKeyCopyIncomplete(kHkeyLocalMachine, "Cut"));
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "Software\\Zarvik\\Solvane", "Cut"));
  EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, u"Cut"), source);
  EXPECT_FALSE(RegKeyCopyIncomplete(kHkeyLocalMachine, "Cut"));
}

TEST_F(RegistryUtilTest, AKindTheCopyDoesNotKnowStopsItAndTheMoveKeepsTheSource) {
  SetRegValue(kHkeyCurrentUser, u"Src\\a", u"before", reg::kRegSz, Sz(u"1"));
  SetRegValue(kHkeyCurrentUser, u"Src\\a", u"list", reg::kRegMultiSz, "x\0y\0\0"s);
  SetRegValue(kHkeyCurrentUser, u"Src\\a", u"after", reg::kRegSz, Sz(u"2"));
  SetRegValue(kHkeyCurrentUser, u"Src\\b", u"later", reg::kRegSz, Sz(u"3"));
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Src", "\\Dst"));
  EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, u"Dst"),
            (test::RegTree{{u"", {~0u, ""}},
                           {u"|slv2update: copy incomplete", {reg::kRegSz, Sz(u"1")}},
                           {u"\\a", {~0u, ""}},
                           {u"\\a|before", {reg::kRegSz, Sz(u"1")}}}));
  EXPECT_TRUE(RegKeyCopyIncomplete(kHkeyLocalMachine, "\\Dst"));
  test::RegTree source = DumpRegTree(kHkeyCurrentUser, u"Src");
  EXPECT_FALSE(MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Src", "\\Moved"));
  EXPECT_EQ(DumpRegTree(kHkeyCurrentUser, u"Src"), source);

  for (uint32_t kind : {uint32_t{reg::kRegQword}, 0x12345u}) {
    std::string key = "Kind" + std::to_string(kind);
    SetRegValue(kHkeyCurrentUser, AnsiToUtf16(key), u"v", kind, "\1\0\0\0\0\0\0\0"s);
    EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, key, key)) << kind;
    EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, AnsiToUtf16(key)).size(), 2u) << kind;
  }
}

TEST_F(RegistryUtilTest, MovesATreeAndNothingFromAMissingSource) {
  MakeFamily(kHkeyLocalMachine, u"Uninstall\\Zarvik:Solvane 2.0");
  test::RegTree source = DumpRegTree(kHkeyLocalMachine, u"Uninstall\\Zarvik:Solvane 2.0");
  ASSERT_TRUE(MoveRegKey(kHkeyLocalMachine, kHkeyLocalMachine, "\\Uninstall\\Zarvik:Solvane 2.0",
                         "\\Uninstall\\Zarvik:Solvane 2.1"));
  EXPECT_TRUE(DumpRegTree(kHkeyLocalMachine, u"Uninstall\\Zarvik:Solvane 2.0").empty());
  EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, u"Uninstall\\Zarvik:Solvane 2.1"), source);
  EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Nothing", "\\Dst"));
  EXPECT_FALSE(MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Nothing", "\\Dst"));
  EXPECT_TRUE(DumpRegTree(kHkeyLocalMachine, u"Dst").empty());
}

TEST_F(RegistryUtilTest, TheWorkerRestoresOpenKeysAndPassesWriteFailuresOn) {
  MakeFamily(kHkeyCurrentUser, u"Src");
  TRegistry source(reg::kKeyRead), dest(reg::kKeyRead);
  source.SetRootKey(kHkeyCurrentUser);
  dest.SetRootKey(kHkeyLocalMachine);
  ASSERT_TRUE(source.OpenKey("\\Src\\punctuation", false));
  ASSERT_TRUE(dest.OpenKey("\\", false));
  EXPECT_EQ(
      test::MessageOf<ERegistryException>([&] { CopyRegKeyTree(source, dest, "\\Src", "\\Dst"); }),
      "Failed to set data for ''");
  EXPECT_EQ(source.CurrentPath(), "Src\\punctuation");
  EXPECT_EQ(dest.CurrentPath(), "");
  TRegistry writer;
  writer.SetRootKey(kHkeyLocalMachine);
  ASSERT_TRUE(writer.OpenKey("\\Dst", true));
  EXPECT_TRUE(CopyRegKeyTree(source, writer, "\\Src", "\\Dst"));
  EXPECT_EQ(source.CurrentPath(), "Src\\punctuation");
  EXPECT_EQ(writer.CurrentPath(), "Dst");
  EXPECT_EQ(
      test::MessageOf<EAssertionFailed>([&] { CopyRegKeyTree(source, source, "\\Src", "\\Dst"); }),
      "Source and destination registry objects cannot be the same (gmRegistryUtil)");
}

TEST_F(RegistryUtilTest, DeletesWholeTreesAndOnlyThem) {
  MakeFamily(kHkeyLocalMachine, u"Software\\Zarvik\\Solvane");
  SetRegValue(kHkeyLocalMachine, u"Software\\Zarvik\\Other", u"v", reg::kRegSz, Sz(u"x"));
  EXPECT_TRUE(DeleteRegKeyTree(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane"));
  EXPECT_TRUE(DumpRegTree(kHkeyLocalMachine, u"Software\\Zarvik\\Solvane").empty());
  EXPECT_EQ(DumpRegTree(kHkeyLocalMachine, u"Software\\Zarvik").size(), 3u);
  EXPECT_FALSE(DeleteRegKeyTree(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane"));
  EXPECT_TRUE(DeleteRegKeyTree(kHkeyLocalMachine, "Software"));
  EXPECT_TRUE(DumpRegTree(kHkeyLocalMachine, u"Software").empty());
}

#ifndef _WIN32
// The Linux store takes a tree of any depth a registry script gives it; the
// walks over whole trees refuse one deeper than the Windows registry's 512
// levels by name, instead of recursing as deep as it goes.
TEST_F(RegistryUtilTest, TreesDeeperThanTheWindowsRegistryAllowsAreRefusedByName) {
  struct Case {
    const char* what;
    std::function<bool()> walk;
  };
  const Case cases[] = {
      {"copy", [] { return CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\D", "\\C"); }},
      {"move", [] { return MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\D", "\\M"); }},
      {"delete", [] { return DeleteRegKeyTree(kHkeyCurrentUser, "\\D"); }},
  };
  for (int levels : {512, 513}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + " " + std::to_string(levels));
      std::u16string key = u"D";
      for (int i = 0; i < levels; ++i)
        key += u"\\k";
      SetRegValue(kHkeyCurrentUser, key, u"v", reg::kRegSz, Sz(u"x"));
      if (levels == 512) {
        EXPECT_TRUE(c.walk());
      } else {
        try {
          c.walk();
          ADD_FAILURE() << "walked";
        } catch (const ERegistryError& e) {
          EXPECT_TRUE(e.Message().ends_with("\\k\" holds keys more than 512 levels deep"))
              << e.Message();
        }
      }
      reg::DeleteTree(kHkeyCurrentUser, u"D");
      for (const char16_t* made : {u"C", u"M"})
        reg::DeleteTree(kHkeyLocalMachine, made);
    }
  }
}
#endif

}  // namespace
}  // namespace slv2
