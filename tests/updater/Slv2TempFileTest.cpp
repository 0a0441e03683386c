// Temporary files of the steps and the replacement of installed files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "UpdaterTestSupport.h"
#include "sys/Cp1251.h"
#include "updater/Slv2TempFile.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {
namespace {

bool Writable(const std::string& path) {
  struct stat st {};
  return ::stat(AnsiToUtf8(path).c_str(), &st) == 0 && (st.st_mode & S_IWUSR);
}

class TSlv2TempFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedTempFolder temp{dir / "tmp"};
};

TEST_F(TSlv2TempFileTest, GoesWithItsOwnerUnlessForgotten) {
  std::string name;
  {
    TSlv2TempFile file(dir.Path());
    name = file.Name();
    EXPECT_EQ(name.rfind(dir.Path() + "/tmp", 0), 0u) << name;
    EXPECT_TRUE(PathExists(name));
    MakeReadOnly(name);
  }
  EXPECT_FALSE(PathExists(name));
  {
    TSlv2TempFile file;
    name = file.Name();
    EXPECT_EQ(name.rfind(dir / "tmp/tmp", 0), 0u) << name;
    file.Forget();
  }
  EXPECT_TRUE(PathExists(name));
  EXPECT_THROW(TSlv2TempFile(dir / "no/such/folder"), ESlvUpdater);
}

TEST_F(TSlv2TempFileTest, ReplacesReadOnlyTargetsAndKeepsThemReadOnly) {
  WriteFile(dir / "target", "old");
  MakeReadOnly(dir / "target");
  TSlv2TempFile file(dir.Path());
  WriteFile(file.Name(), "new");
  std::string name = file.Name();
  ASSERT_TRUE(ReplaceInstalledFile(file, dir / "target"));
  EXPECT_EQ(ReadFile(dir / "target"), "new");
  EXPECT_FALSE(Writable(dir / "target"));
  EXPECT_FALSE(PathExists(name));
  EXPECT_EQ(file.Name(), "");
}

TEST_F(TSlv2TempFileTest, AFailedReplacementLeavesTheTargetAsItWas) {
  WriteFile(dir / "folder/inner", "x");
  TSlv2TempFile file(dir.Path());
  EXPECT_FALSE(ReplaceInstalledFile(file, dir / "folder"));
  EXPECT_TRUE(PathExists(file.Name()));
  EXPECT_EQ(ReadFile(dir / "folder/inner"), "x");
}

}  // namespace
}  // namespace slv2::test
