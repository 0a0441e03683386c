// The ten updater types: their identities, their binding order and which of
// them a package registers on a given installation.
#include <gtest/gtest.h>

#include "UpdaterTestSupport.h"
#include "products/Slv2Catalogue.h"
#include "products/Slv2MainFinishUpdater.h"
#include "products/Slv2PX2002Updater.h"
#include "products/Slv2PuncDataUpdater.h"
#include "products/Slv2PuncUpdater.h"

namespace slv2::test {
namespace {

TEST(Slv2CatalogueTest, IdentitiesInTheirBindingOrder) {
  struct Row {
    const char* className;
    const char* productId;
    const char* productName;
    const char* storageName;
    bool finish;
  };
  const Row rows[] = {
      {"TSlv2MainUpdater", "main", "Оболочка Zarvik:Solvane", "main", false},
      {"TSlv2PuncUpdater", "punctuation", "Тесты по пунктуации", "punctuation", false},
      {"TSlv2OrthoUpdater", "orthography", "Тесты по орфографии", "orthography", false},
      {"TSlv2Math1Updater", "mathematics1", "Математика (часть 1)", "mathematics1", false},
      {"TSlv2EGEUpdater", "ege", "Интерактивные тесты по ЕГЭ", "ege", false},
      {"TSlv2PX2002Updater", "px2002", "Zarvik:Probix", "px2002", false},
      {"TSlv2PuncDataUpdater", "punctuation", "Тесты по пунктуации (БД)", "punc_data", false},
      {"TSlv2OrthoDataUpdater", "orthography", "Тесты по орфографии (БД)", "ortho_data", false},
      {"TSlv2Math1DataUpdater", "mathematics1", "Математика (часть I) (БД)", "math1_data", false},
      {"TSlv2MainFinishUpdater", "main", "Завершение обновления оболочки Zarvik:Solvane", "main",
       true},
  };
  TempRegistry registry;
  const std::vector<const TSlv2UpdaterClass*>& catalogue = UpdaterCatalogue();
  ASSERT_EQ(catalogue.size(), std::size(rows));
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const TSlv2UpdaterClass& type = *catalogue[i];
    SCOPED_TRACE(rows[i].className);
    EXPECT_EQ(type.ClassName(), rows[i].className);
    EXPECT_EQ(type.GetProductId(), rows[i].productId);
    EXPECT_EQ(type.GetProductName(), A(rows[i].productName));
    EXPECT_EQ(type.GetStorageName(), rows[i].storageName);
    EXPECT_EQ(type.IsShellFinish(), rows[i].finish);
    // The factory makes an updater of that type, logging under its name.
    std::unique_ptr<TSlv2Updater> updater = type.Create();
    EXPECT_EQ(&updater->UpdaterClass(), &type);
    EXPECT_EQ(updater->Logger().Name(), rows[i].className);
  }
  EXPECT_NE(dynamic_cast<TSlv2MainUpdater*>(catalogue.back()->Create().get()), nullptr);
  EXPECT_NE(dynamic_cast<TSlv2MainFinishUpdater*>(catalogue.back()->Create().get()), nullptr);
  EXPECT_EQ(UpdaterStorageFile(*catalogue[6], "/pkg"), "/pkg/punc_data.stg");
  EXPECT_EQ(UpdaterStorageFile(*catalogue[6], "C:\\pkg\\"), "C:\\pkg\\punc_data.stg");
}

class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest() { InstallShell(FamilyLayout::Machine21, dir / "Solvane"); }
  void Package(std::initializer_list<const char*> storages) {
    for (const char* name : storages)
      StorageWriter(dir / ("pkg/" + std::string(name))).Add("files/product/readme.txt", name);
  }
  // The class names registered from the package, in order.
  std::vector<std::string> Registered() {
    std::vector<std::string> names;
    for (const TSlv2UpdaterClass* type : UpdaterCatalogue()) {
      if (std::unique_ptr<TSlv2Updater> updater = CreateUpdaterIfInstalled(*type, dir / "pkg")) {
        EXPECT_EQ(updater->StorageFileName(), UpdaterStorageFile(*type, dir / "pkg"));
        EXPECT_NE(updater->Storage(), nullptr);
        names.push_back(type->ClassName());
      }
    }
    return names;
  }

  TempRegistry registry;
  TempDir dir;
};

TEST_F(RegistrationTest, OnlyInstalledProductsWithAStorageAreRegistered) {
  InstallProduct(FamilyLayout::Machine21, "punctuation", "punctuation");
  Package({"punctuation.stg", "punc_data.stg", "orthography.stg"});
  EXPECT_EQ(Registered(), (std::vector<std::string>{"TSlv2PuncUpdater", "TSlv2PuncDataUpdater"}));
}

TEST_F(RegistrationTest, TheShellStorageRegistersTheShellAndItsFinishingUpdater) {
  Package({"main.stg"});
  EXPECT_EQ(Registered(), (std::vector<std::string>{"TSlv2MainUpdater", "TSlv2MainFinishUpdater"}));
}

TEST_F(RegistrationTest, ProductsInstalledPerUserAreRegisteredToo) {
  InstallProduct(FamilyLayout::Mixed, "ege", "ege");
  Package({"ege.stg", "px2002.stg"});
  EXPECT_EQ(Registered(), (std::vector<std::string>{"TSlv2EGEUpdater"}));
}

TEST_F(RegistrationTest, AStorageThatDoesNotOpenStopsTheRegistration) {
  InstallProduct(FamilyLayout::Machine21, "px2002", "px2002");
  WriteFile(dir / "pkg/px2002.stg", "not a compound file");
  EXPECT_THROW(CreateUpdaterIfInstalled(TSlv2PX2002Updater::Class(), dir / "pkg"), EgmStorage);
}

TEST_F(RegistrationTest, TheShellStorageRunsTwiceAndTheSecondRunReplacesAgain) {
  Package({"main.stg"});
  LogCapture mainLog("TSlv2MainUpdater"), finishLog("TSlv2MainFinishUpdater");
  for (const TSlv2UpdaterClass* type : {UpdaterCatalogue().front(), UpdaterCatalogue().back()})
    CreateUpdaterIfInstalled(*type, dir / "pkg")->Execute();
  std::string target = dir / "Solvane/readme.txt";
  EXPECT_EQ(Content(target), "main.stg");
  EXPECT_TRUE(mainLog.Has("DEBUG ProcessFile(): Extracted new \"" + target + "\""))
      << mainLog.Text();
  EXPECT_TRUE(
      finishLog.Has("DEBUG ProcessFile(): Replaced \"" + target + "\" with newer or the same"))
      << finishLog.Text();
}

}  // namespace
}  // namespace slv2::test
