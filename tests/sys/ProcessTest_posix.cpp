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
  static void Script(const std::string& path, const std::string& body) {
    test::WriteFile(path, "#!/bin/sh\n" + body + "\n");
    ASSERT_EQ(::chmod(AnsiToUtf8(path).c_str(), 0755), 0);
  }
};

TEST_F(ProcessTest, ReturnsTheExitCodeOrFailsForMissingProgramsAndSignals) {
  EXPECT_EQ(ExecAndWait("sh -c \"exit 7\"", kSwHide), 7u);
  EXPECT_EQ(ExecAndWait("SH -c \"exit 255\"", kSwHide), 255u);
  test::WriteFile(dir / "plain.exe", "not executable");
  for (std::string line :
       std::vector<std::string>{"no-such-program-anywhere.exe /s", "", "sh -c \"kill -9 $$\"",
                                "\"" + dir.Path() + "/plain.exe\""}) {
    EXPECT_EQ(ExecAndWait(line, kSwHide), kExecFailed) << line;
  }
}

TEST_F(ProcessTest, PassesArgumentsWithTheWindowsQuotingRulesInTheCallersFolderAndEnvironment) {
  std::string program = dir / A("мой каталог/print args.sh");
  Script(program, "test -f marker && for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$OUT\"");
  test::WriteFile(dir / "marker", "");
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(::chdir(AnsiToUtf8(dir.Path()).c_str()), 0);
  ::setenv("OUT", AnsiToUtf8(dir / "out.txt").c_str(), 1);
  uint32_t code =
      ExecAndWait("\"" + program + "\" /s \"a b\" c\\\"d " + A("\"Файл.reg\""), kSwHide);
  ::unsetenv("OUT");
  ASSERT_EQ(::chdir(saved), 0);
  EXPECT_EQ(code, 0u);
  // Arguments reach the program in the terminal encoding, UTF-8.
  EXPECT_EQ(test::ReadFile(dir / "out.txt"), "[/s][a b][c\"d][Файл.reg]");
}

TEST_F(ProcessTest, FindsProgramsBesideTheExecutableBeforeThePath) {
  // The test programs sit beside slv2pack; with an empty PATH only that
  // folder can supply it.
  const char* path = std::getenv("PATH");
  std::string saved = path ? path : "";
  ::setenv("PATH", "", 1);
  uint32_t beside = ExecAndWait("slv2pack.exe --help", kSwHide);
  ::setenv("PATH", dir.Path().c_str(), 1);
  Script(dir / "slv2pack", "exit 9");
  uint32_t shadowed = ExecAndWait("slv2pack --help", kSwHide);
  // Along PATH a Windows name is not served by a program of the same stem
  // (Wine's "regsvr32" must never stand in for "regsvr32.exe").
  Script(dir / "only-on-path", "exit 4");
  uint32_t pathOnly = ExecAndWait("only-on-path", kSwHide);
  uint32_t windowsName = ExecAndWait("only-on-path.exe", kSwHide);
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(beside, 0u);
  EXPECT_EQ(shadowed, 0u);
  EXPECT_EQ(pathOnly, 4u);
  EXPECT_EQ(windowsName, kExecFailed);
}

}  // namespace
}  // namespace slv2
