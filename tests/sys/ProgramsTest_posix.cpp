// Programs on Linux: other programs run as Windows runs them, and the folder
// of the shell's program group (below XDG_DATA_HOME, else the system's menu
// for root and the user's own for everyone else).
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/Process.h"
#include "sys/ShFolder.h"

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
  test::ScopedEnv out("OUT", dir / "out.txt");
  ExecAndWait("\"" + program + "\" /s \"a b\" c\\\"d " + A("\"Файл.reg\""), kSwHide);
  ASSERT_EQ(::chdir(saved), 0);
  // Arguments reach the program in the terminal encoding, UTF-8.
  EXPECT_EQ(test::ReadFile(dir / "out.txt"), "[/s][a b][c\"d][Файл.reg]");
}

TEST_F(ProcessTest, FindsProgramsBesideTheExecutableBeforeThePath) {
  // The test programs sit beside slv2pack; with an empty PATH only that
  // folder can supply it.
  test::ScopedEnv path("PATH", "");
  uint32_t beside = ExecAndWait("slv2pack.exe --help", kSwHide);
  test::SetEnv("PATH", &dir.Path());
  Script(dir / "slv2pack", "exit 9");
  uint32_t shadowed = ExecAndWait("slv2pack --help", kSwHide);
  // Along PATH a Windows name is not served by a program of the same stem
  // (Wine's "regsvr32" must never stand in for "regsvr32.exe").
  Script(dir / "only-on-path", "exit 4");
  uint32_t pathOnly = ExecAndWait("only-on-path", kSwHide);
  uint32_t windowsName = ExecAndWait("only-on-path.exe", kSwHide);
  EXPECT_EQ(beside, 0u);
  EXPECT_EQ(shadowed, 0u);
  EXPECT_EQ(pathOnly, 4u);
  EXPECT_EQ(windowsName, kExecFailed);
}

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(AnsiToUtf8(path));
}

class ShFolder : public ::testing::Test {
 protected:
  test::TempDir dir;
  // Both come back as they were when the test ends.
  test::ScopedEnv data{"XDG_DATA_HOME", dir / A("Данные")}, home{"HOME", dir.Path()};
};

TEST_F(ShFolder, TheProgramsFolderLiesInXdgDataHomeAndIsCreated) {
  std::string programs = GetSpecialFolderPath(kCsidlCommonPrograms | kCsidlFlagCreate);
  EXPECT_EQ(programs, dir / A("Данные/applications"));
  EXPECT_TRUE(IsFolder(programs));
  // What cannot be made, and folders this system does not know, give "".
  test::WriteFile(dir / "file", "x");
  test::ScopedEnv file("XDG_DATA_HOME", dir / "file");
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "");
  EXPECT_EQ(GetSpecialFolderPath(5), "");  // the user's documents
}

TEST_F(ShFolder, WithoutXdgDataHomeRootGetsTheSystemMenuAndUsersTheirOwn) {
  test::SetEnv("XDG_DATA_HOME", nullptr);
  std::string own = dir / ".local/share/applications";
  if (::geteuid() != 0) {
    EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), own);
    return;
  }
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");
  EXPECT_TRUE(IsFolder("/usr/local/share/applications"));
  test::ScopedEnv relative("XDG_DATA_HOME", "relative/data");  // not a base folder at all
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");

  std::filesystem::permissions(AnsiToUtf8(dir.Path()), std::filesystem::perms::all);
  test::HeldInChild nobody([&] {
    return ::setgroups(0, nullptr) == 0 && ::setgid(test::kPupilUid) == 0 &&
           ::setuid(test::kPupilUid) == 0 && GetSpecialFolderPath(kCsidlCommonPrograms) == own;
  });
  EXPECT_TRUE(nobody.Holding()) << "nobody's programs folder";
  EXPECT_TRUE(IsFolder(own));
}

}  // namespace
}  // namespace slv2
