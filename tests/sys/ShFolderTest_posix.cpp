#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

// An environment variable the test may change (nullptr: unset); the old value
// comes back with the object.
class ScopedEnv {
 public:
  explicit ScopedEnv(const char* name) : name_(name), had_(std::getenv(name) != nullptr) {
    if (had_) saved_ = std::getenv(name);
  }
  ~ScopedEnv() { Set(had_ ? saved_.c_str() : nullptr); }
  void Set(const char* value) { value ? ::setenv(name_, value, 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  bool had_;
  std::string saved_;
};

TEST(ShFolder, TheProgramsFolderLiesInXdgDataHomeAndIsCreated) {
  test::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME");
  data.Set(AnsiToUtf8(dir / A("Данные")).c_str());
  std::string programs = GetSpecialFolderPath(kCsidlCommonPrograms | kCsidlFlagCreate);
  EXPECT_EQ(programs, dir / A("Данные/applications"));
  EXPECT_TRUE(IsFolder(programs));
  // What cannot be made, and folders this system does not know, give "".
  test::WriteFile(dir / "file", "x");
  data.Set(AnsiToUtf8(dir / "file").c_str());
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "");
  EXPECT_EQ(GetSpecialFolderPath(5), "");  // the user's documents
}

TEST(ShFolder, WithoutXdgDataHomeRootGetsTheSystemMenuAndUsersTheirOwn) {
  test::TempDir dir;
  ScopedEnv data("XDG_DATA_HOME"), home("HOME");
  data.Set(nullptr);
  home.Set(AnsiToUtf8(dir.Path()).c_str());
  std::string own = dir / ".local/share/applications";
  if (::geteuid() != 0) {
    EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), own);
    return;
  }
  EXPECT_EQ(GetSpecialFolderPath(kCsidlCommonPrograms), "/usr/local/share/applications");
  EXPECT_TRUE(IsFolder("/usr/local/share/applications"));
  data.Set("relative/data");  // not a base folder at all
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
