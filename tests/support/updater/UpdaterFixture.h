// The setting of the updater tests: the family machine with one product
// folder inside the shell folder, a folder outside both that nothing may
// touch, and the log lines of the test updater type.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FamilyMachine.h"
#include "sys/TempNames.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {

class TSlv2TestUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class() {
    static const TSlv2UpdaterClass type("TSlv2TestUpdater", "testprod", "Test product", "", false,
                                        MakeUpdater<TSlv2TestUpdater>);
    return type;
  }
  explicit TSlv2TestUpdater(const TSlv2UpdaterClass& type) : TSlv2Updater(type) {}
};

class UpdaterFixture : public ::testing::Test {
 protected:
  UpdaterFixture() {
    machine.Install("testprod");
    WriteFile(Join(product, "keep.txt"), "product file");
    WriteFile(Join(shell, "shell.txt"), "shell file");
    WriteFile(Join(outside, "victim.txt"), "outside file");
  }

  std::unique_ptr<TSlv2Updater> Make() {
    std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
    updater->SetStorageFileName(storageFile);
    return updater;
  }
  // Writes the storage with the streams, then creates and runs the updater;
  // a dry run's effects record the changes and make none.
  std::unique_ptr<TSlv2Updater> Run(const Streams& streams, bool dry = false) {
    machine.Pack("testprod", streams);
    std::unique_ptr<TSlv2Updater> updater = Make();
    if (dry) RecordOnly(*updater);
    updater->Execute();
    return updater;
  }
  void ExpectOutsideUntouched() {
    EXPECT_EQ(ListTree(outside), std::vector<std::string>{"victim.txt"});
    EXPECT_EQ(ReadFile(Join(outside, "victim.txt")), "outside file");
    EXPECT_FALSE(PathExists(dir / "evil.txt"));
  }
  // No temporary file is left in the temporary folder or anywhere below the
  // folder of the targets.
  void ExpectNoTempFiles(const std::string& folder) {
    for (const std::string& where : {dir / "tmp", folder}) {
      for (const std::string& name : ListTree(where))
        EXPECT_FALSE(IsProgramTempName(name.substr(name.rfind('/') + 1))) << where << "/" << name;
    }
  }

  FamilyMachine machine;
  const TempDir& dir = machine.dir;
  const std::string shell = machine.shell, product = machine.Product("testprod");
  const std::string outside = dir / "outside", storageFile = machine.package + "/testprod.stg";
  ScopedTempFolder temp{dir / "tmp"};
  LogCapture log{"TSlv2TestUpdater"};
};

}  // namespace slv2::test
