#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/ShFolder.h"

namespace slv2 {
namespace {

using test::A;
namespace stdfs = std::filesystem;

// Sets or removes an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool IsFolder(const std::string& path) {
  return stdfs::is_directory(AnsiToUtf8(path));
}

// Runs `check` in a child process as the user nobody.
bool AsNobody(const std::function<bool()>& check) {
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return false;
  uid_t uid = nobody->pw_uid;
  gid_t gid = nobody->pw_gid;
  pid_t child = ::fork();
  if (child == 0) {
    bool switched = ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
    ::_exit(switched && check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(ShFolderTest, TheProgramsFolderLiesInXdgDataHomeAndIsCreated) {
  test::TempDir dir;
  ScopedEnv xdg("XDG_DATA_HOME", AnsiToUtf8(dir / A("Данные")));
  std::string programs = GetSpecialFolderPath(kCsidlCommonPrograms);
  EXPECT_EQ(programs, dir / A("Данные/applications"));
  EXPECT_TRUE(IsFolder(programs));
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms | kCsidlFlagCreate), programs);
}

TEST(ShFolderTest, WithoutXdgDataHomeRootGetsTheSystemMenuAndUsersTheirOwn) {
  test::TempDir home;
  ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  ScopedEnv homeVariable("HOME", AnsiToUtf8(home.Path()));
  if (::geteuid() != 0) {
    EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), home / ".local/share/applications");
    EXPECT_TRUE(IsFolder(home / ".local/share/applications"));
    return;
  }
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");
  EXPECT_TRUE(IsFolder("/usr/local/share/applications"));
  // A relative value is no base directory at all.
  xdg.Set("relative/data");
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");

  stdfs::permissions(AnsiToUtf8(home.Path()), stdfs::perms::all);
  EXPECT_TRUE(AsNobody([&] {
    return GetSpecialFolderPath(kCsidlCommonPrograms) == home / ".local/share/applications" &&
           IsFolder(home / ".local/share/applications");
  }));
}

TEST(ShFolderTest, FoldersThatCannotBeMadeOrAreUnknownGiveEmptyText) {
  test::TempDir dir;
  test::WriteFile(dir / "file", "x");
  ScopedEnv xdg("XDG_DATA_HOME", AnsiToUtf8(dir / "file"));
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "");
  xdg.Set(AnsiToUtf8(dir.Path()));
  EXPECT_EQ(GetSpecialFolderPath(5 | kCsidlFlagCreate), "");  // the user's documents
  EXPECT_FALSE(test::PathExists(dir / "applications"));
}

}  // namespace
}  // namespace slv2
