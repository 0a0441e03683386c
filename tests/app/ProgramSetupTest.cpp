// The program entry: its command line, the package folder and the
// diagnostic log it sets up.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/ProgramOptions.h"
#include "app/ProgramSetup.h"
#include "log/LogHierarchy.h"
#include "log/LogPriority.h"
#include "products/Slv2Catalogue.h"
#include "sys/FileLayer.h"

namespace slv2 {
namespace {

using test::A;

TProgramOptions Parse(const std::vector<std::string>& args) {
  TProgramOptions options;
  std::string error;
  EXPECT_TRUE(ParseProgramOptions(args, options, error)) << error;
  return options;
}

std::string Error(const std::vector<std::string>& args) {
  TProgramOptions options;
  std::string error;
  EXPECT_FALSE(ParseProgramOptions(args, options, error));
  return error;
}

TEST(ProgramOptionsTest, ModesAndValues) {
  EXPECT_EQ(Parse({"--console"}).mode, TRunMode::Console);
  // --quiet is the console without prompts; a --console after it changes nothing.
  EXPECT_EQ(Parse({"--quiet", "--console"}).mode, TRunMode::Quiet);
  EXPECT_EQ(Parse({"--quiet", "--help"}).mode, TRunMode::Help);

  TProgramOptions options = Parse({"--package-dir", "/srv/пакет", "--quiet", "--log", "u.log"});
  EXPECT_EQ(options.packageDir, "/srv/пакет");
  EXPECT_EQ(options.logFile, "u.log");
  // A dry run lists in the terminal; --quiet stays quiet.
  options = Parse({"--dry-run", "--report", "r.json"});
  EXPECT_TRUE(options.dryRun);
  EXPECT_EQ(options.mode, TRunMode::Console);
  EXPECT_EQ(options.reportFile, "r.json");
  EXPECT_EQ(Parse({"--quiet", "--dry-run"}).mode, TRunMode::Quiet);
}

TEST(ProgramOptionsTest, RejectsWhatItDoesNotUnderstand) {
  EXPECT_EQ(Error({"--package-dir"}), "--package-dir needs a value");
  EXPECT_EQ(Error({"--log", ""}), "--log needs a value");
  EXPECT_EQ(Error({"--log", "a", "--log", "b"}), "--log is given twice");
}

TEST(ProgramSetupTest, PackageFolderIsTheGivenOneMadeAbsoluteOrTheProgramsOwn) {
  test::TempDir dir;
  test::WriteFile(dir / A("пакет/x.stg"), "");
  std::string folder, error;
  ASSERT_TRUE(ResolvePackageFolder(dir.Path() + "/пакет/", folder, error));
  EXPECT_EQ(folder, dir / A("пакет"));

  ASSERT_TRUE(ResolvePackageFolder("", folder, error));
  const std::string program = fs::GetModuleFileName();
  EXPECT_TRUE(program == folder + "/app_tests" || program == folder + "\\app_tests.exe") << program;
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
