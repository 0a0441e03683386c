// Locating the family and its products in the registry, in the three
// layouts an installation can have.
#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/Registry.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {
namespace {

TEST(Slv2HelperTest, EachLayoutGivesItsKeysAndFolders) {
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
      // The 2.1 key gives the shell; the product is found per user.
      {FamilyLayout::Mixed, reg::kHkeyLocalMachine, reg::kHkeyCurrentUser,
       "\\Software\\Zarvik\\Solvane 2.1", "\\Software\\Zarvik\\Solvane\\punctuation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    TempRegistry registry;
    EXPECT_FALSE(TSlv2Helper::IsFamilyInstalled());
    InstallShell(c.layout, "C:\\Programs\\Family");
    InstallProduct(c.layout, "punctuation", "punctuation");
    reg::HKey root = 0;
    std::string key;
    ASSERT_TRUE(TSlv2Helper::FindFamilyKey(root, key));
    EXPECT_EQ(std::make_pair(root, key), std::make_pair(c.familyRoot, std::string(c.familyKey)));
    ASSERT_TRUE(TSlv2Helper::FindProductKey("punctuation", root, key));
    EXPECT_EQ(std::make_pair(root, key), std::make_pair(c.productRoot, std::string(c.productKey)));
    EXPECT_TRUE(TSlv2Helper::IsProductInstalled("punctuation"));
    EXPECT_FALSE(TSlv2Helper::IsProductInstalled("orthography"));
    EXPECT_EQ(TSlv2Helper::GetSlv21Root(), "C:\\Programs\\Family");
    EXPECT_EQ(TSlv2Helper::GetProductRoot("punctuation"), "C:\\Programs\\Family\\punctuation");
  }
}

TEST(Slv2HelperTest, ProductRootValuesAndAnUnknownShellFolder) {
  TempRegistry registry;
  InstallShell(FamilyLayout::Machine21, "C:\\Programs\\Family");
  for (auto [id, value] : {std::pair{"other", "..\\other"},
                           {"dots", "sub/./dir"},
                           {"short", "m\\math"},
                           {"empty", ""},
                           {"elsewhere", "D:\\Other\\.\\Product"},
                           {"shared", "\\\\srv\\share\\Product"}})
    InstallProduct(FamilyLayout::Machine21, id, value);
  EXPECT_EQ(TSlv2Helper::GetProductRoot("other"), "C:\\Programs\\other");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("dots"), "C:\\Programs\\Family\\sub\\dir");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("short"), "C:\\Programs\\Family\\m\\math");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("empty"), "");
  EXPECT_TRUE(TSlv2Helper::IsProductInstalled("empty"));
  // A full path, as the shell's own key holds, is taken as it is.
  EXPECT_EQ(TSlv2Helper::GetProductRoot("main"), "C:\\Programs\\Family");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("elsewhere"), "D:\\Other\\Product");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("shared"), "\\\\srv\\share\\Product");

  TRegistry writer;
  writer.SetRootKey(reg::kHkeyLocalMachine);
  ASSERT_TRUE(writer.OpenKey("\\Software\\Zarvik\\Solvane 2.1\\ege", true));
  writer.WriteInteger("root", 7);
  EXPECT_THROW(TSlv2Helper::GetProductRoot("ege"), ERegistryError);

  // Without the shell folder no product has a folder, installed as it is.
  InstallShell(FamilyLayout::Machine21, "");
  EXPECT_TRUE(TSlv2Helper::IsProductInstalled("other"));
  EXPECT_EQ(TSlv2Helper::GetSlv21Root(), "");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("other"), "");
}

}  // namespace
}  // namespace slv2::test
