#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

using reg::kHkeyLocalMachine;
using test::FinishUpdater;
using test::SetRegString;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FinishUpdaterTest : public test::ShellTest {
 protected:
  // Everything the shell updater would act on is there for the taking.
  void SetUp() override {
    InstallWholeShell();
  }
  void ExpectShellStepsSkipped() {
    EXPECT_THAT(Regsvr32Arguments(), IsEmpty());
    EXPECT_EQ(Group(), oldGroup);
    EXPECT_EQ(test::ListTree(oldGroup), std::vector<std::string>{"Solvane 2.0.lnk"});
    EXPECT_EQ(RegReadString(kHkeyLocalMachine, kOldUninstall, "DisplayName"), "Zarvik:Solvane 2.0");
    EXPECT_THAT(log.Lines(), IsEmpty());
  }

  test::LogCapture finishLog{"TSlv2MainFinishUpdater"};
};

TEST_F(FinishUpdaterTest, OnNtSystemsItOnlyOpensTheShellTreeAgain) {
  FinishUpdater updater(&fakeApi);
  updater.AfterExecute();
  EXPECT_THAT(finishLog.Lines(), ElementsAre("DEBUG allowSlvFilesForEveryone() succeeded"));
  EXPECT_THAT(fakeApi.writtenPaths, ElementsAre(root + "/bin/SlvAPP.dll", root + "/bin", root));
  ExpectShellStepsSkipped();
}

TEST_F(FinishUpdaterTest, ElsewhereItAddsNothing) {
  fakeApi.platformId = 1;
  FinishUpdater updater(&fakeApi);
  updater.AfterExecute();
  EXPECT_THAT(finishLog.Lines(), IsEmpty());
  EXPECT_THAT(fakeApi.writtenPaths, IsEmpty());
  ExpectShellStepsSkipped();
}

TEST_F(FinishUpdaterTest, ItsMigrationFindsThe21KeyInPlace) {
  SetRegString(reg::kHkeyCurrentUser, "\\Software\\Zarvik\\Solvane\\main", "root", "elsewhere");
  FinishUpdater updater(&fakeApi);
  updater.BeforeExecute();
  EXPECT_THAT(finishLog.Lines(),
              ElementsAre("DEBUG BeforeExecute(): Slv21 key already exists in HKLM",
                          "DEBUG BeforeExecute(): Slv20 key already exists in HKCU"));
  EXPECT_EQ(RegReadString(kHkeyLocalMachine, kMainKey, "root"), root);
}

}  // namespace
}  // namespace slv2
