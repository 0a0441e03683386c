// Locating the family and its products in the registry, in the three
// layouts an installation can have.
#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/Registry.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {
namespace {

class Slv2HelperTest : public ::testing::Test {
 protected:
  TempRegistry registry;
};

TEST_F(Slv2HelperTest, NothingInstalled) {
  reg::HKey root = 0;
  std::string key;
  EXPECT_FALSE(TSlv2Helper::IsFamilyInstalled());
  EXPECT_FALSE(TSlv2Helper::FindFamilyKey(root, key));
  EXPECT_FALSE(TSlv2Helper::IsProductInstalled("punctuation"));
  EXPECT_EQ(TSlv2Helper::GetSlv21Root(), "");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("punctuation"), "");
}

TEST_F(Slv2HelperTest, EachLayoutGivesItsKeysAndFolders) {
  struct Case {
    FamilyLayout layout;
    reg::HKey familyRoot, productRoot;
    const char* familyKey;
    const char* productKey;
  };
  const Case cases[] = {
      {FamilyLayout::Machine21, reg::kHkeyLocalMachine, reg::kHkeyLocalMachine,
       "\\Software\\Zarvik\\Solvane 2.1", "\\Software\\Zarvik\\Solvane 2.1\\punctuation"},
      {FamilyLayout::User20, reg::kHkeyCurrentUser, reg::kHkeyCurrentUser,
       "\\Software\\Zarvik\\Solvane", "\\Software\\Zarvik\\Solvane\\punctuation"},
      // The 2.1 key wins for the family, the product is found per user.
      {FamilyLayout::Mixed, reg::kHkeyLocalMachine, reg::kHkeyCurrentUser,
       "\\Software\\Zarvik\\Solvane 2.1", "\\Software\\Zarvik\\Solvane\\punctuation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    TempRegistry fresh;
    InstallShell(c.layout, "C:\\Programs\\Family");
    InstallProduct(c.layout, "punctuation", "punctuation");
    reg::HKey root = 0;
    std::string key;
    ASSERT_TRUE(TSlv2Helper::FindFamilyKey(root, key));
    EXPECT_EQ(root, c.familyRoot);
    EXPECT_EQ(key, c.familyKey);
    ASSERT_TRUE(TSlv2Helper::FindProductKey("punctuation", root, key));
    EXPECT_EQ(root, c.productRoot);
    EXPECT_EQ(key, c.productKey);
    EXPECT_TRUE(TSlv2Helper::IsProductInstalled("punctuation"));
    EXPECT_FALSE(TSlv2Helper::IsProductInstalled("orthography"));
    EXPECT_EQ(TSlv2Helper::GetSlv21Root(), "C:\\Programs\\Family");
    EXPECT_EQ(TSlv2Helper::GetProductRoot("punctuation"), "C:\\Programs\\Family\\punctuation");
  }
}

TEST_F(Slv2HelperTest, TheProductRootIsAlwaysRelativeToTheShellFolder) {
  InstallShell(FamilyLayout::Machine21, "C:\\Programs\\Family");
  InstallProduct(FamilyLayout::Machine21, "other", "..\\other");
  InstallProduct(FamilyLayout::Machine21, "posix", "sub/./dir");
  InstallProduct(FamilyLayout::Machine21, "empty", "");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("other"), "C:\\Programs\\other");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("posix"), "C:\\Programs\\Family\\sub\\dir");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("empty"), "");
  EXPECT_TRUE(TSlv2Helper::IsProductInstalled("empty"));
  // The shell's own key holds a full folder, which is its product folder.
  EXPECT_EQ(TSlv2Helper::GetProductRoot("main"), "C:\\Programs\\Family");
  InstallProduct(FamilyLayout::Machine21, "elsewhere", "D:\\Other\\.\\Product");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("elsewhere"), "D:\\Other\\Product");

  TempRegistry fresh;
  InstallShell(FamilyLayout::User20, "/opt/zarvik/Solvane");
  InstallProduct(FamilyLayout::User20, "px2002", "../px2002");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("px2002"), "/opt/zarvik/px2002");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("main"), "/opt/zarvik/Solvane");
}

TEST_F(Slv2HelperTest, WithoutTheShellFolderNoProductHasAFolder) {
  RegWriteString(reg::kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane 2.1\\main", "group", "x");
  InstallProduct(FamilyLayout::Machine21, "punctuation", "punctuation");
  EXPECT_TRUE(TSlv2Helper::IsProductInstalled("punctuation"));
  EXPECT_EQ(TSlv2Helper::GetSlv21Root(), "");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("punctuation"), "");
}

TEST_F(Slv2HelperTest, ARootValueOfAnotherKindRaises) {
  InstallShell(FamilyLayout::Machine21, "C:\\F");
  TRegistry writer;
  writer.SetRootKey(reg::kHkeyLocalMachine);
  ASSERT_TRUE(writer.OpenKey("\\Software\\Zarvik\\Solvane 2.1\\ege", true));
  writer.WriteInteger("root", 7);
  writer.CloseKey();
  EXPECT_THROW(TSlv2Helper::GetProductRoot("ege"), ERegistryError);
}

}  // namespace
}  // namespace slv2::test
