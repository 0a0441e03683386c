// The command line contract of slv2update.
#include <gtest/gtest.h>

#include "app/ProgramOptions.h"

namespace slv2 {
namespace {

TEST(ProgramOptionsTest, ModesAndRefusals) {
  using M = TRunMode;
  const struct {
    std::vector<std::string> args;
    TRunMode mode;
    std::string error;
  } cases[] = {
      {{}, M::Window, ""},
      {{"--console"}, M::Console, ""},
      // --quiet is the console without prompts, in either order.
      {{"--quiet", "--console"}, M::Quiet, ""},
      {{"--console", "--quiet"}, M::Quiet, ""},
      {{"--quiet", "--help"}, M::Help, ""},
      {{"--version"}, M::Version, ""},
      // A dry run lists in the terminal; --quiet stays quiet.
      {{"--dry-run"}, M::Console, ""},
      {{"--quiet", "--dry-run"}, M::Quiet, ""},
      {{"--silent"}, M::Window, "unknown argument --silent"},
      {{"extra"}, M::Window, "unknown argument extra"},
      {{"--package-dir"}, M::Window, "--package-dir needs a value"},
      {{"--log", ""}, M::Window, "--log needs a value"},
      {{"--log", "a", "--log", "b"}, M::Window, "--log is given twice"},
      {{"--report"}, M::Window, "--report needs a value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    TProgramOptions options;
    std::string error;
    EXPECT_EQ(ParseProgramOptions(c.args, options, error), c.error.empty());
    EXPECT_EQ(error, c.error);
    if (c.error.empty()) {
      EXPECT_EQ(options.mode, c.mode);
    }
  }
}

TEST(ProgramOptionsTest, Values) {
  TProgramOptions options;
  std::string error;
  ASSERT_TRUE(ParseProgramOptions(
      {"--package-dir", "/srv/пакет", "--log", "u.log", "--dry-run", "--report", "r.json"}, options,
      error));
  EXPECT_EQ(options.packageDir, "/srv/пакет");
  EXPECT_EQ(options.logFile, "u.log");
  EXPECT_EQ(options.reportFile, "r.json");
  EXPECT_TRUE(options.dryRun);
}

}  // namespace
}  // namespace slv2
