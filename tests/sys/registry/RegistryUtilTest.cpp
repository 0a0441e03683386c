#include <gtest/gtest.h>

#include <map>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/RegistryUtil.h"

namespace slv2 {
namespace {

using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using test::A;
using namespace std::string_literals;

// A tree's content: "\sub\path|value" -> kind and raw data, and "\sub\path"
// -> kind ~0 for every key.
using Tree = std::map<std::string, std::pair<uint32_t, std::string>>;

class RegistryUtilTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  void Set(reg::HKey root, const std::string& key, const std::string& name, uint32_t type,
           const std::string& data) {
    reg::ScopedKey h;
    ASSERT_EQ(reg::CreateKeyA(root, key, reg::kKeyAllAccess, h.Out()), kErrorSuccess);
    ASSERT_EQ(reg::SetValueA(h.Get(), name, type, data), kErrorSuccess);
  }

  // The family key of version 2.0 with every kind the copy knows.
  void MakeFamily(reg::HKey root, const std::string& key) {
    Set(root, key, "", reg::kRegSz, "default\0"s);
    Set(root, key + "\\main", "root", reg::kRegSz, A("C:\\Программы\\Solvane") + '\0');
    Set(root, key + "\\main", "path", reg::kRegExpandSz, "%ProgramFiles%\\S\0"s);
    Set(root, key + "\\main", "count", reg::kRegDword, "\x2A\0\0\0"s);
    Set(root, key + "\\main", "blob", reg::kRegBinary, "\0\x01\xFF"s);
    Set(root, key + "\\main\\deep\\deeper", "", reg::kRegSz, "x\0"s);
    Set(root, key + "\\punctuation", "root", reg::kRegSz, "punc\0"s);
  }

  Tree Dump(reg::HKey root, const std::string& key) {
    Tree tree;
    reg::ScopedKey h;
    if (reg::OpenKeyA(root, key, reg::kKeyRead, h.Out()) != kErrorSuccess) return tree;
    Walk(h.Get(), "", tree);
    return tree;
  }

 private:
  void Walk(reg::HKey key, const std::string& path, Tree& tree) {
    tree[path] = {~0u, ""};
    std::u16string name;
    uint32_t type;
    std::string data;
    for (uint32_t i = 0; reg::EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i) {
      tree[path + "|" + Utf16ToAnsi(name)] = {type, data};
    }
    for (uint32_t i = 0; reg::EnumKey(key, i, &name) == kErrorSuccess; ++i) {
      reg::ScopedKey sub;
      ASSERT_EQ(reg::OpenKey(key, name, reg::kKeyRead, sub.Out()), kErrorSuccess);
      Walk(sub.Get(), path + "\\" + Utf16ToAnsi(name), tree);
    }
  }
};

TEST_F(RegistryUtilTest, CopiesATreeBetweenRootsWithItsValuesExactly) {
  MakeFamily(kHkeyCurrentUser, "Software\\Zarvik\\Solvane");
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane",
                         "\\Software\\Zarvik\\Solvane 2.1"));
  Tree source = Dump(kHkeyCurrentUser, "Software\\Zarvik\\Solvane");
  EXPECT_EQ(source.size(), 12u);
  EXPECT_EQ(Dump(kHkeyLocalMachine, "Software\\Zarvik\\Solvane 2.1"), source);
  // Paths without the leading backslash count from the root too.
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyCurrentUser, "Software\\Zarvik\\Solvane",
                         "Software\\Copy"));
  EXPECT_EQ(Dump(kHkeyCurrentUser, "Software\\Copy"), source);
}

TEST_F(RegistryUtilTest, CopyingIntoAnExistingKeyMerges) {
  MakeFamily(kHkeyCurrentUser, "Old");
  Set(kHkeyLocalMachine, "New\\main", "root", reg::kRegSz, "replaced\0"s);
  Set(kHkeyLocalMachine, "New\\main", "installed", reg::kRegSz, "kept\0"s);
  Set(kHkeyLocalMachine, "New\\other", "", reg::kRegDword, "\1\0\0\0"s);
  ASSERT_TRUE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Old", "\\New"));
  EXPECT_EQ(RegReadString(kHkeyLocalMachine, "\\New\\main", "root"), A("C:\\Программы\\Solvane"));
  EXPECT_EQ(RegReadString(kHkeyLocalMachine, "\\New\\main", "installed"), "kept");
  EXPECT_TRUE(RegKeyExists(kHkeyLocalMachine, "\\New\\other"));
}

TEST_F(RegistryUtilTest, AKindTheCopyDoesNotKnowStopsItAndTheMoveKeepsTheSource) {
  Set(kHkeyCurrentUser, "Src\\a", "before", reg::kRegSz, "1\0"s);
  Set(kHkeyCurrentUser, "Src\\a", "list", reg::kRegMultiSz, "x\0y\0\0"s);
  Set(kHkeyCurrentUser, "Src\\a", "after", reg::kRegSz, "2\0"s);
  Set(kHkeyCurrentUser, "Src\\b", "later", reg::kRegSz, "3\0"s);
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Src", "\\Dst"));
  EXPECT_EQ(RegReadString(kHkeyLocalMachine, "\\Dst\\a", "before"), "1");
  EXPECT_EQ(RegReadStringDef(kHkeyLocalMachine, "\\Dst\\a", "after", "none"), "none");
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "\\Dst\\b"));

  Tree source = Dump(kHkeyCurrentUser, "Src");
  EXPECT_FALSE(MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Src", "\\Moved"));
  EXPECT_EQ(Dump(kHkeyCurrentUser, "Src"), source);

  for (uint32_t kind : std::initializer_list<uint32_t>{
           reg::kRegNone, reg::kRegDwordBigEndian, reg::kRegLink, reg::kRegResourceList,
           reg::kRegFullResourceDescriptor, reg::kRegResourceRequirementsList, reg::kRegQword,
           0x12345u}) {
    std::string key = "Kind" + std::to_string(kind);
    Set(kHkeyCurrentUser, key, "v", kind, "\1\0\0\0\0\0\0\0"s);
    EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, key, key)) << kind;
    EXPECT_EQ(Dump(kHkeyLocalMachine, key), (Tree{{"", {~0u, ""}}})) << kind;
  }
}

TEST_F(RegistryUtilTest, MovesATree) {
  MakeFamily(kHkeyLocalMachine, "Uninstall\\Zarvik:Solvane 2.0");
  Tree source = Dump(kHkeyLocalMachine, "Uninstall\\Zarvik:Solvane 2.0");
  ASSERT_TRUE(MoveRegKey(kHkeyLocalMachine, kHkeyLocalMachine, "\\Uninstall\\Zarvik:Solvane 2.0",
                         "\\Uninstall\\Zarvik:Solvane 2.1"));
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "\\Uninstall\\Zarvik:Solvane 2.0"));
  EXPECT_EQ(Dump(kHkeyLocalMachine, "Uninstall\\Zarvik:Solvane 2.1"), source);
}

TEST_F(RegistryUtilTest, AMissingSourceCopiesNothing) {
  EXPECT_FALSE(CopyRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Nothing", "\\Dst"));
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "\\Dst"));
  EXPECT_FALSE(MoveRegKey(kHkeyCurrentUser, kHkeyLocalMachine, "\\Nothing", "\\Dst"));
}

TEST_F(RegistryUtilTest, TheWorkerRestoresOpenKeysAndPassesWriteFailuresOn) {
  MakeFamily(kHkeyCurrentUser, "Src");
  TRegistry source(reg::kKeyRead), dest(reg::kKeyRead);
  source.SetRootKey(kHkeyCurrentUser);
  dest.SetRootKey(kHkeyLocalMachine);
  ASSERT_TRUE(source.OpenKey("\\Src\\punctuation", false));
  ASSERT_TRUE(dest.OpenKey("\\", false));
  try {
    CopyRegKeyTree(source, dest, "\\Src", "\\Dst");
    ADD_FAILURE() << "a destination opened for reading took a value";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(e.Message(), "Failed to set data for ''");
  }
  EXPECT_EQ(source.CurrentPath(), "Src\\punctuation");
  EXPECT_EQ(dest.CurrentPath(), "");
  dest.SetAccess(reg::kKeyAllAccess);
  ASSERT_TRUE(dest.OpenKey("\\Dst", true));
  EXPECT_TRUE(CopyRegKeyTree(source, dest, "\\Src", "\\Dst"));
  EXPECT_EQ(source.CurrentPath(), "Src\\punctuation");
  EXPECT_EQ(dest.CurrentPath(), "Dst");
  EXPECT_EQ(source.ReadString("root"), "punc");

  try {
    CopyRegKeyTree(source, source, "\\Src", "\\Dst");
    ADD_FAILURE() << "one object served as both ends";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(),
              "Source and destination registry objects cannot be the same (gmRegistryUtil)");
  }
}

TEST_F(RegistryUtilTest, DeletesWholeTreesAndOnlyThem) {
  MakeFamily(kHkeyLocalMachine, "Software\\Zarvik\\Solvane");
  Set(kHkeyLocalMachine, "Software\\Zarvik\\Other", "v", reg::kRegSz, "x\0"s);
  EXPECT_TRUE(DeleteRegKeyTree(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane"));
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane"));
  EXPECT_TRUE(RegKeyExists(kHkeyLocalMachine, "\\Software\\Zarvik\\Other"));
  EXPECT_FALSE(DeleteRegKeyTree(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane"));
  EXPECT_TRUE(DeleteRegKeyTree(kHkeyLocalMachine, "Software"));
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "Software"));
}

TEST_F(RegistryUtilTest, ImportsScriptsThroughTheRegistryEditor) {
#ifdef _WIN32
  GTEST_SKIP() << "regedit.exe sees the real registry, not the test's redirected roots "
                  "(scripts/regedit-compare checks the import)";
#endif
  test::TempDir dir;
  std::string script = dir / A("папка с пробелами/update 1.reg");
  test::WriteFile(script,
                  "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Imported]\r\n"
                  "\"root\"=\"" +
                      A("C:\\\\Путь") + "\"\r\n");
  EXPECT_TRUE(ImportRegFile(script));
  EXPECT_EQ(RegReadString(kHkeyLocalMachine, "\\Software\\Imported", "root"), A("C:\\Путь"));

  test::WriteFile(dir / "plain.txt", "[HKEY_LOCAL_MACHINE\\Software\\Plain]\r\n");
  EXPECT_FALSE(ImportRegFile(dir / "plain.txt"));
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "\\Software\\Plain"));
  EXPECT_FALSE(ImportRegFile(dir / "missing.reg"));
  EXPECT_FALSE(ImportRegFile(dir.Path()));
}

}  // namespace
}  // namespace slv2
