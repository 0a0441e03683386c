// The command line contract of slv2update.
#include <gtest/gtest.h>

#include "app/ProgramOptions.h"

namespace slv2 {
namespace {

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
  EXPECT_EQ(Parse({}).mode, TRunMode::Window);
  EXPECT_EQ(Parse({"--console"}).mode, TRunMode::Console);
  EXPECT_EQ(Parse({"--quiet"}).mode, TRunMode::Quiet);
  // --quiet is the console without prompts, in either order.
  EXPECT_EQ(Parse({"--quiet", "--console"}).mode, TRunMode::Quiet);
  EXPECT_EQ(Parse({"--console", "--quiet"}).mode, TRunMode::Quiet);
  EXPECT_EQ(Parse({"--quiet", "--help"}).mode, TRunMode::Help);
  EXPECT_EQ(Parse({"--version"}).mode, TRunMode::Version);

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
  EXPECT_EQ(Error({"--silent"}), "unknown argument --silent");
  EXPECT_EQ(Error({"extra"}), "unknown argument extra");
  EXPECT_EQ(Error({"--package-dir"}), "--package-dir needs a value");
  EXPECT_EQ(Error({"--log", ""}), "--log needs a value");
  EXPECT_EQ(Error({"--log", "a", "--log", "b"}), "--log is given twice");
  EXPECT_EQ(Error({"--report"}), "--report needs a value");
}

}  // namespace
}  // namespace slv2
