#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "TestSupport.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"

namespace slv2 {
namespace {

using U = TgmFileUtil;
using test::A;

// Runs a test body in another current folder, for relative Windows-form paths.
class CurrentDir {
 public:
  explicit CurrentDir(const std::string& dir) {
    EXPECT_NE(getcwd(saved_, sizeof saved_), nullptr);
    EXPECT_EQ(chdir(AnsiToUtf8(dir).c_str()), 0);
  }
  ~CurrentDir() { EXPECT_EQ(chdir(saved_), 0); }

 private:
  char saved_[4096];
};

// Makes a file undeletable even for root while it lives, where the file
// system allows it.
class Immutable {
 public:
  explicit Immutable(const std::string& path) : path_(AnsiToUtf8(path)) { active_ = Set(true); }
  ~Immutable() {
    if (active_) Set(false);
  }
  bool Active() const { return active_; }

 private:
  bool Set(bool on) {
    int fd = open(path_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return ok;
  }
  std::string path_;
  bool active_ = false;
};

class FileUtilWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir / "a/f1", "1");
    test::WriteFile(dir / "a/g.txt", "g");
    test::WriteFile(dir / "a/s/f2", "2");
    test::WriteFile(dir / "a/s/t/h.txt", "h");
  }

  std::vector<std::string> Enum(const std::string& mask, uint32_t filter, bool recursive,
                                int* count = nullptr, const std::string& stopAt = "") {
    std::vector<std::string> seen;
    int n = U::EnumFiles(
        mask, filter, 7,
        [&](const std::string& name, uint32_t user) {
          EXPECT_EQ(user, 7u);
          seen.push_back(name);
          return name == stopAt;
        },
        recursive);
    if (count) *count = n;
    return seen;
  }

  void LinkFolder(const std::string& target, const std::string& link) {
    std::filesystem::create_directory_symlink(AnsiToUtf8(target), AnsiToUtf8(link));
  }

  test::TempDir dir;
};

TEST_F(FileUtilWalk, FilterDecidesWhetherFoldersReachTheCallbackButDotsNeverDo) {
  int count = 0;
  EXPECT_EQ(Enum(dir / "a/*.*", 0x2F, false, &count),
            (std::vector<std::string>{dir / "a/f1", dir / "a/g.txt"}));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Enum(dir / "a/*.*", 0x3F, false, &count),
            (std::vector<std::string>{dir / "a/f1", dir / "a/g.txt", dir / "a/s"}));
  EXPECT_EQ(count, 5);  // "." and ".." are counted
  EXPECT_EQ(Enum(dir / "A/*.TXT", 0x2F, false), (std::vector<std::string>{dir / "A/g.txt"}));
  EXPECT_TRUE(Enum(dir / "missing/*.*", 0x3F, true, &count).empty());
  EXPECT_EQ(count, 0);
}

TEST_F(FileUtilWalk, RecursionVisitsAFolderBeforeItsSubFoldersEvenAfterAStop) {
  int count = 0;
  EXPECT_EQ(Enum(dir / "a/*.*", 0x2F, true, &count),
            (std::vector<std::string>{dir / "a/f1", dir / "a/g.txt", dir / "a/s/f2",
                                      dir / "a/s/t/h.txt"}));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(Enum(dir / "a/*.*", 0x2F, true, nullptr, dir / "a/f1"),
            (std::vector<std::string>{dir / "a/f1", dir / "a/s/f2", dir / "a/s/t/h.txt"}));
  EXPECT_EQ(Enum(dir / "a/*.txt", 0x2F, true),
            (std::vector<std::string>{dir / "a/g.txt", dir / "a/s/t/h.txt"}));
}

TEST_F(FileUtilWalk, WindowsFormMasksBuildNamesWithBackslashes) {
  CurrentDir here(dir.Path());
  EXPECT_EQ(Enum("a\\*.txt", 0x2F, true), (std::vector<std::string>{"a\\g.txt", "a\\s\\t\\h.txt"}));
  EXPECT_EQ(Enum("*.*", 0x3F, false), (std::vector<std::string>{"a"}));
}

TEST_F(FileUtilWalk, CallbackExceptionsEndTheWalk) {
  int calls = 0;
  auto fail = [&](const std::string&, uint32_t) -> bool {
    ++calls;
    throw std::runtime_error("stop");
  };
  EXPECT_THROW(U::EnumFiles(dir / "a/*.*", 0x2F, 0, fail, true), std::runtime_error);
  EXPECT_EQ(calls, 1);
}

TEST_F(FileUtilWalk, WalksNeverDescendThroughSymbolicLinks) {
  test::WriteFile(dir / "outside/secret.txt", "x");
  LinkFolder(dir / "outside", dir / "a/s/link");
  LinkFolder(dir / "a", dir / "a/s/loop");
  EXPECT_EQ(Enum(dir / "a/*.txt", 0x2F, true),
            (std::vector<std::string>{dir / "a/g.txt", dir / "a/s/t/h.txt"}));
  EXPECT_EQ(U::CopyFiles(dir / "a", dir / "copy", true), 4);
  EXPECT_FALSE(test::PathExists(dir / "copy/s/link"));
}

TEST_F(FileUtilWalk, CopyFilesKeepsSubPathsAndCopiesEveryKindOfFile) {
  test::MakeReadOnly(dir / "a/s/f2");
  test::WriteFile(dir / "copy/s/f2", "old");
  test::MakeReadOnly(dir / "copy/s/f2");
  EXPECT_EQ(U::CopyFiles(dir / "a", dir / "copy", true), 4);
  EXPECT_EQ(test::ReadFile(dir / "copy/f1"), "1");
  EXPECT_EQ(test::ReadFile(dir / "copy/s/f2"), "2");
  EXPECT_EQ(fs::GetFileAttributes(dir / "copy/s/f2") & fs::kAttrReadOnly, fs::kAttrReadOnly);
  EXPECT_EQ(test::ReadFile(dir / "copy/s/t/h.txt"), "h");

  EXPECT_EQ(U::CopyFiles(dir / "A/", dir / "flat", false), 2);
  EXPECT_EQ(test::ReadFile(dir / "flat/g.txt"), "g");
  EXPECT_FALSE(test::PathExists(dir / "flat/s"));
}

TEST_F(FileUtilWalk, CopyFilesWithWindowsFormFoldersJoinsWithBackslashes) {
  CurrentDir here(dir.Path());
  EXPECT_EQ(U::CopyFiles("a\\s", "out", true), 2);
  EXPECT_EQ(test::ReadFile(dir / "out/f2"), "2");
  EXPECT_EQ(test::ReadFile(dir / "out/t/h.txt"), "h");
}

TEST_F(FileUtilWalk, DeleteTreeRemovesReadOnlyFilesAndFolders) {
  test::WriteFile(dir / "a/s/.cfg", "c");
  test::MakeReadOnly(dir / "a/f1");
  test::MakeReadOnly(dir / "a/s/f2");
  test::MakeReadOnly(dir / "a/s/t");
  EXPECT_TRUE(U::DeleteTree(dir / "A"));
  EXPECT_FALSE(test::PathExists(dir / "a"));
  EXPECT_FALSE(U::DeleteTree(dir / "a"));
  test::WriteFile(dir / "file", "");
  EXPECT_FALSE(U::DeleteTree(dir / "file"));
  EXPECT_TRUE(test::PathExists(dir / "file"));
}

TEST_F(FileUtilWalk, DeleteTreeRemovesLinksButNotWhatTheyPointTo) {
  test::WriteFile(dir / "outside/keep.txt", "keep");
  test::WriteFile(dir / "lone.txt", "lone");
  LinkFolder(dir / "outside", dir / "a/s/link");
  std::filesystem::create_symlink(AnsiToUtf8(dir / "lone.txt"), AnsiToUtf8(dir / "a/file-link"));
  std::filesystem::create_symlink(AnsiToUtf8(dir / "none"), AnsiToUtf8(dir / "a/dangling"));
  EXPECT_TRUE(U::DeleteTree(dir / "a"));
  EXPECT_FALSE(test::PathExists(dir / "a"));
  EXPECT_EQ(test::ReadFile(dir / "outside/keep.txt"), "keep");
  EXPECT_EQ(test::ReadFile(dir / "lone.txt"), "lone");

  // A tree named through a link: the link goes, the folder stays whole.
  LinkFolder(dir / "outside", dir / "named");
  EXPECT_TRUE(U::DeleteTree(dir / "named"));
  EXPECT_FALSE(test::PathExists(dir / "named"));
  EXPECT_EQ(test::ReadFile(dir / "outside/keep.txt"), "keep");
}

TEST_F(FileUtilWalk, DeleteTreeGoesOnAfterAFailureAndKeepsTheFolder) {
  test::WriteFile(dir / "a/s/stuck", "x");
  Immutable stuck(dir / "a/s/stuck");
  if (!stuck.Active()) GTEST_SKIP() << "the file system cannot make a file undeletable";
  EXPECT_FALSE(U::DeleteTree(dir / "a"));
  EXPECT_TRUE(test::PathExists(dir / "a/s/stuck"));
  EXPECT_FALSE(test::PathExists(dir / "a/f1"));
  EXPECT_FALSE(test::PathExists(dir / "a/s/f2"));
  EXPECT_FALSE(test::PathExists(dir / "a/s/t"));
}

}  // namespace
}  // namespace slv2
