// The package folder and the diagnostic log the program entry sets up.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/ProgramSetup.h"
#include "log/LogHierarchy.h"
#include "log/LogPriority.h"
#include "products/Slv2Catalogue.h"
#include "sys/FileLayer.h"

namespace slv2 {
namespace {

using test::A;

TEST(ProgramSetupTest, PackageFolderIsTheGivenOneMadeAbsoluteOrTheProgramsOwn) {
  test::TempDir dir;
  test::WriteFile(dir / A("пакет/x.stg"), "");
  std::string folder, error;
  ASSERT_TRUE(ResolvePackageFolder(dir.Path() + "/пакет/", folder, error));
  EXPECT_EQ(folder, dir / A("пакет"));

  ASSERT_TRUE(ResolvePackageFolder("", folder, error));
  std::string program = fs::GetModuleFileName();
  ASSERT_GT(program.size(), folder.size());
  EXPECT_EQ(program.substr(0, folder.size()), folder);
  std::string name = program.substr(folder.size());
  EXPECT_TRUE(name == "/app_tests" || name == "\\app_tests.exe") << program;
}

TEST(ProgramSetupTest, TheLogReceivesEveryUpdatersDebugLines) {
  test::TempDir dir;
  std::string error;
  std::vector<const TSlv2UpdaterClass*> catalogue = UpdaterCatalogue();
  std::shared_ptr<TLogAppender> appender =
      AttachDiagnosticLog(dir.Path() + "/u.log", catalogue, error);
  ASSERT_TRUE(appender) << error;
  TLogHierarchy::Default().GetCategory("TSlv2MainUpdater").Debug("first");
  TLogHierarchy::Default().GetCategory("TSlv2Math1DataUpdater").Warn("second");
  // Other categories and the root stay as they were.
  TLogHierarchy::Default().GetCategory("Other").Error("not logged");
  EXPECT_EQ(&TLogHierarchy::Default().Root().EffectivePriority(), &TLogPriority::Error());
  std::string log = test::ReadFile(dir / "u.log");
  EXPECT_EQ(log.rfind("=== slv2update, run started ", 0), 0u) << log;
  EXPECT_EQ(log.substr(log.find("\r\n") + 2), "DEBUG - first\r\nWARN - second\r\n");

  for (const TSlv2UpdaterClass* type : catalogue) {
    TLogCategory& category = TLogHierarchy::Default().GetCategory(type->ClassName());
    category.SetPriority(nullptr);
    category.RemoveAppender(appender);
  }
}

}  // namespace
}  // namespace slv2
