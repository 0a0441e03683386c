// Where the shell's program group goes: below XDG_DATA_HOME, else the
// system's menu for root and the user's own for everyone else.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/ShFolder.h"

namespace slv2 {
namespace {

using test::A;

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(AnsiToUtf8(path));
}

class ShFolder : public ::testing::Test {
 protected:
  static void Set(const char* name, const std::string& value) { test::SetEnv(name, &value); }

  test::TempDir dir;
  // Both come back as they were when the test ends.
  test::ScopedEnv data{"XDG_DATA_HOME", dir / "data"}, home{"HOME", dir.Path()};
};

TEST_F(ShFolder, TheProgramsFolderLiesInXdgDataHomeAndIsCreated) {
  Set("XDG_DATA_HOME", dir / A("Данные"));
  std::string programs = GetSpecialFolderPath(kCsidlCommonPrograms | kCsidlFlagCreate);
  EXPECT_EQ(programs, dir / A("Данные/applications"));
  EXPECT_TRUE(IsFolder(programs));
  // What cannot be made, and folders this system does not know, give "".
  test::WriteFile(dir / "file", "x");
  Set("XDG_DATA_HOME", dir / "file");
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
  Set("XDG_DATA_HOME", "relative/data");  // not a base folder at all
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");

  std::filesystem::permissions(AnsiToUtf8(dir.Path()), std::filesystem::perms::all);
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
              ::setuid(nobody->pw_uid) == 0 && GetSpecialFolderPath(kCsidlCommonPrograms) == own;
    ::_exit(ok ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0) << "nobody's programs folder";
  EXPECT_TRUE(IsFolder(own));
}

}  // namespace
}  // namespace slv2
