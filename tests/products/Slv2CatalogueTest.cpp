// Which updater types a package registers on a given installation, in their
// binding order.
#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"
#include "products/Slv2Catalogue.h"
#include "products/Slv2PX2002Updater.h"

namespace slv2::test {
namespace {

class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest() { InstallShell(FamilyLayout::Machine21, dir / "Solvane"); }
  std::vector<std::string> Registered(std::initializer_list<const char*> storages) {
    for (const char* name : storages)
      StorageWriter(dir / ("pkg/" + std::string(name))).Add("files/product/readme.txt", name);
    std::vector<std::string> names;
    for (const TSlv2UpdaterClass* type : UpdaterCatalogue()) {
      if (std::unique_ptr<TSlv2Updater> updater = CreateUpdaterIfInstalled(*type, dir / "pkg")) {
        EXPECT_EQ(updater->StorageFileName(), dir / ("pkg/" + type->GetStorageName() + ".stg"));
        names.push_back(type->ClassName());
      }
    }
    return names;
  }

  TempRegistry registry;
  TempDir dir;
};

using Names = std::vector<std::string>;

TEST_F(RegistrationTest, OnlyInstalledProductsWithAStorageAreRegistered) {
  InstallProduct(FamilyLayout::Machine21, "punctuation", "punctuation");
  InstallProduct(FamilyLayout::Mixed, "ege", "ege");
  EXPECT_EQ(Registered({"punctuation.stg", "punc_data.stg", "orthography.stg", "ege.stg"}),
            (Names{"TSlv2PuncUpdater", "TSlv2EGEUpdater", "TSlv2PuncDataUpdater"}));
}

TEST_F(RegistrationTest, TheShellStorageRunsTwiceAndTheSecondRunReplacesAgain) {
  EXPECT_EQ(Registered({"main.stg"}), (Names{"TSlv2MainUpdater", "TSlv2MainFinishUpdater"}));
  LogCapture mainLog("TSlv2MainUpdater"), finishLog("TSlv2MainFinishUpdater");
  for (const TSlv2UpdaterClass* type : {UpdaterCatalogue().front(), UpdaterCatalogue().back()})
    CreateUpdaterIfInstalled(*type, dir / "pkg")->Execute();
  std::string target = dir / "Solvane/readme.txt";
  EXPECT_EQ(Content(target), "main.stg");
  EXPECT_TRUE(mainLog.Has("DEBUG ProcessFile(): Extracted new \"" + target + "\""));
  EXPECT_TRUE(
      finishLog.Has("DEBUG ProcessFile(): Replaced \"" + target + "\" with newer or the same"));
}

TEST_F(RegistrationTest, AStorageThatDoesNotOpenStopsTheRegistration) {
  InstallProduct(FamilyLayout::Machine21, "px2002", "px2002");
  WriteFile(dir / "pkg/px2002.stg", "not a compound file");
  EXPECT_THROW(CreateUpdaterIfInstalled(TSlv2PX2002Updater::Class(), dir / "pkg"), EgmStorage);
}

}  // namespace
}  // namespace slv2::test
