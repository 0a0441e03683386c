// The ten updater types: their identities, their binding order and which of
// them a package registers on a given installation.
#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"
#include "products/Slv2Catalogue.h"
#include "products/Slv2MainFinishUpdater.h"
#include "products/Slv2PX2002Updater.h"

namespace slv2::test {
namespace {

TEST(Slv2CatalogueTest, IdentitiesInTheirBindingOrder) {
  const char* rows[][4] = {
      {"TSlv2MainUpdater", "main", "Оболочка Zarvik:Solvane", "main"},
      {"TSlv2PuncUpdater", "punctuation", "Тесты по пунктуации", "punctuation"},
      {"TSlv2OrthoUpdater", "orthography", "Тесты по орфографии", "orthography"},
      {"TSlv2Math1Updater", "mathematics1", "Математика (часть 1)", "mathematics1"},
      {"TSlv2EGEUpdater", "ege", "Интерактивные тесты по ЕГЭ", "ege"},
      {"TSlv2PX2002Updater", "px2002", "Zarvik:Probix", "px2002"},
      {"TSlv2PuncDataUpdater", "punctuation", "Тесты по пунктуации (БД)", "punc_data"},
      {"TSlv2OrthoDataUpdater", "orthography", "Тесты по орфографии (БД)", "ortho_data"},
      {"TSlv2Math1DataUpdater", "mathematics1", "Математика (часть I) (БД)", "math1_data"},
      {"TSlv2MainFinishUpdater", "main", "Завершение обновления оболочки Zarvik:Solvane", "main"},
  };
  TempRegistry registry;
  const std::vector<const TSlv2UpdaterClass*>& catalogue = UpdaterCatalogue();
  ASSERT_EQ(catalogue.size(), std::size(rows));
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const TSlv2UpdaterClass& type = *catalogue[i];
    EXPECT_EQ(type.ClassName(), rows[i][0]);
    EXPECT_EQ(type.GetProductId(), rows[i][1]);
    EXPECT_EQ(type.GetProductName(), A(rows[i][2]));
    EXPECT_EQ(type.GetStorageName(), rows[i][3]);
    EXPECT_EQ(type.IsShellFinish(), i == 9);
    // The factory makes an updater of the type, logging under its name.
    EXPECT_EQ(type.Create()->Logger().Name(), rows[i][0]);
  }
  EXPECT_NE(dynamic_cast<TSlv2MainFinishUpdater*>(catalogue.back()->Create().get()), nullptr);
  EXPECT_EQ(UpdaterStorageFile(*catalogue[6], "C:\\pkg\\"), "C:\\pkg\\punc_data.stg");
}

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
