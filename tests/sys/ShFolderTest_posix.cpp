#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/ShFolder.h"

namespace slv2 {
namespace {

using test::A;

bool IsFolder(const std::string& path) {
  return std::filesystem::is_directory(AnsiToUtf8(path));
}

// The tests change XDG_DATA_HOME and HOME; both are put back afterwards.
class ShFolderTest : public ::testing::Test {
 protected:
  ~ShFolderTest() override {
    for (const auto& [name, value] : saved_)
      Put(name, value ? value->c_str() : nullptr);
  }
  void SetEnv(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.try_emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
    Put(name, value);
  }
  static void Put(const char* name, const char* value) {
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }

  test::TempDir dir;
  std::map<const char*, std::optional<std::string>> saved_;
};

TEST_F(ShFolderTest, TheProgramsFolderLiesInXdgDataHomeAndIsCreated) {
  SetEnv("XDG_DATA_HOME", AnsiToUtf8(dir / A("Данные")).c_str());
  std::string programs = GetSpecialFolderPath(kCsidlCommonPrograms | kCsidlFlagCreate);
  EXPECT_EQ(programs, dir / A("Данные/applications"));
  EXPECT_TRUE(IsFolder(programs));
  // What cannot be made, and folders this system does not know, give "".
  test::WriteFile(dir / "file", "x");
  SetEnv("XDG_DATA_HOME", AnsiToUtf8(dir / "file").c_str());
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "");
  EXPECT_EQ(GetSpecialFolderPath(5), "");  // the user's documents
}

TEST_F(ShFolderTest, WithoutXdgDataHomeRootGetsTheSystemMenuAndUsersTheirOwn) {
  SetEnv("XDG_DATA_HOME", nullptr);
  SetEnv("HOME", AnsiToUtf8(dir.Path()).c_str());
  std::string own = dir / ".local/share/applications";
  if (::geteuid() != 0) {
    EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), own);
    return;
  }
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");
  EXPECT_TRUE(IsFolder("/usr/local/share/applications"));
  SetEnv("XDG_DATA_HOME", "relative/data");  // not a base folder at all
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
