// The common setting of the updater tests: a family installed in a fresh
// registry with the shell folder and one product folder in a temporary
// directory, a folder outside both that nothing may touch, an update
// storage beside them, and the log lines of the test updater type.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "UpdaterTestSupport.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {

// An updater type of the tests, with hooks that log when they run.
class TSlv2TestUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class() {
    static const TSlv2UpdaterClass type("TSlv2TestUpdater", "testprod", "Test product", "", false,
                                        MakeUpdater<TSlv2TestUpdater>);
    return type;
  }
  explicit TSlv2TestUpdater(const TSlv2UpdaterClass& type) : TSlv2Updater(type) {}
  void BeforeExecute() override { Logger().Debug("BeforeExecute"); }
  void AfterExecute() override { Logger().Debug("AfterExecute"); }
};

class UpdaterFixture : public ::testing::Test {
 protected:
  UpdaterFixture()
      : shell(dir / "Solvane"),
        product(shell + "/testprod"),
        outside(dir / "outside"),
        storageFile(dir / "pkg/testprod.stg") {
    InstallShell(FamilyLayout::Machine21, shell);
    InstallProduct(FamilyLayout::Machine21, "testprod", "testprod");
    WriteFile(product + "/keep.txt", "product file");
    WriteFile(shell + "/shell.txt", "shell file");
    WriteFile(outside + "/victim.txt", "outside file");
  }

  // A created updater with the storage written so far open.
  std::unique_ptr<TSlv2Updater> Make() {
    std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
    updater->SetStorageFileName(storageFile);
    return updater;
  }
  // Writes the storage with `fill`, then creates and runs the updater.
  template <class Fill>
  std::unique_ptr<TSlv2Updater> Run(Fill fill) {
    {
      StorageWriter writer(storageFile);
      fill(writer);
    }
    std::unique_ptr<TSlv2Updater> updater = Make();
    updater->Execute();
    return updater;
  }
  // No temporary file is left, in the system's temporary folder or beside
  // the product's files.
  void ExpectNoTempFiles(const std::string& folder) {
    for (const std::string& where : {dir / "tmp", folder}) {
      for (const std::string& name : Entries(where))
        EXPECT_FALSE(name.rfind("tmp", 0) == 0 && name.size() > 4 &&
                     name.substr(name.size() - 4) == ".TMP")
            << where << "/" << name;
    }
  }
  // The folder outside the family holds exactly what it held at the start.
  void ExpectOutsideUntouched() {
    EXPECT_EQ(Content(outside + "/victim.txt"), "outside file");
    EXPECT_FALSE(PathExists(dir / "evil.txt"));
    EXPECT_FALSE(PathExists(outside + "/evil.txt"));
  }

  TempRegistry registry;
  TempDir dir;
  std::string shell, product, outside, storageFile;
  ScopedTempFolder temp{dir / "tmp"};
  LogCapture log{"TSlv2TestUpdater"};
};

}  // namespace slv2::test
