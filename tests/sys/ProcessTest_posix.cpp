#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/Process.h"

namespace slv2 {
namespace {

using test::A;

class ProcessTest : public ::testing::Test {
 protected:
  test::TempDir dir;

  // An executable shell script at `path` (program text).
  void Script(const std::string& path, const std::string& body) {
    test::WriteFile(path, "#!/bin/sh\n" + body + "\n");
    ASSERT_EQ(::chmod(AnsiToUtf8(path).c_str(), 0755), 0);
  }
};

TEST_F(ProcessTest, ReturnsTheProgramsExitCode) {
  EXPECT_EQ(ExecAndWait("sh -c \"exit 7\"", kSwHide), 7u);
  EXPECT_EQ(ExecAndWait("SH.exe -c \"exit 5\"", kSwHide), 5u);
  EXPECT_EQ(ExecAndWait("sh.EXE -c \"exit 3\"", kSwHide), 3u);
  EXPECT_EQ(ExecAndWait("sh -c \"exit 255\"", kSwHide), 255u);
}

TEST_F(ProcessTest, FailsForMissingProgramsAndProgramsEndedBySignals) {
  EXPECT_EQ(ExecAndWait("no-such-program-anywhere.exe /s", kSwHide), kExecFailed);
  EXPECT_EQ(ExecAndWait("", kSwHide), kExecFailed);
  EXPECT_EQ(ExecAndWait("sh -c \"kill -9 $$\"", kSwHide), kExecFailed);
  test::WriteFile(dir / "plain.exe", "not executable");
  EXPECT_EQ(ExecAndWait("\"" + dir.Path() + "/plain.exe\"", kSwHide), kExecFailed);
}

TEST_F(ProcessTest, PassesArgumentsWithTheWindowsQuotingRules) {
  std::string program = dir / A("мой каталог/print args.sh");
  Script(program, "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$OUT\"");
  ::setenv("OUT", AnsiToUtf8(dir / "out.txt").c_str(), 1);
  EXPECT_EQ(ExecAndWait("\"" + program + "\" /s \"a b\" c\\\"d " + A("\"Файл.reg\""), kSwHide), 0u);
  ::unsetenv("OUT");
  // Arguments reach the program in the terminal encoding, UTF-8.
  EXPECT_EQ(test::ReadFile(dir / "out.txt"), "[/s][a b][c\"d][Файл.reg]");
}

TEST_F(ProcessTest, RunsInTheCallersFolderAndEnvironment) {
  test::WriteFile(dir / "marker", "");
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(::chdir(AnsiToUtf8(dir.Path()).c_str()), 0);
  ::setenv("SLV2_PROBE", "yes", 1);
  uint32_t code = ExecAndWait("sh -c \"test -f marker && test $SLV2_PROBE = yes\"", kSwHide);
  ::unsetenv("SLV2_PROBE");
  ASSERT_EQ(::chdir(saved), 0);
  EXPECT_EQ(code, 0u);
}

TEST_F(ProcessTest, FindsProgramsBesideTheExecutableBeforeThePath) {
  // The test programs sit beside slv2pack; with an empty PATH only that
  // folder can supply it.
  const char* path = std::getenv("PATH");
  std::string saved = path ? path : "";
  ::setenv("PATH", "", 1);
  uint32_t code = ExecAndWait("slv2pack.exe --help", kSwHide);
  ::setenv("PATH", dir.Path().c_str(), 1);
  Script(dir / "slv2pack", "exit 9");
  uint32_t shadowed = ExecAndWait("slv2pack.exe --help", kSwHide);
  uint32_t fromPath = ExecAndWait("slv2pack --help", kSwHide);
  Script(dir / "only-on-path", "exit 4");
  uint32_t pathOnly = ExecAndWait("only-on-path.exe", kSwHide);
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(shadowed, 0u);
  EXPECT_EQ(fromPath, 0u);
  EXPECT_EQ(pathOnly, 4u);
}

}  // namespace
}  // namespace slv2
