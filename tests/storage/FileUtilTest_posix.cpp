// File utilities against what only Linux has: symbolic links and files that
// even root cannot delete.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "FileUtilTestSupport.h"
#include "sys/Cp1251.h"

namespace slv2 {
namespace {

using U = TgmFileUtil;

// Sets or clears the immutable flag, which makes a file undeletable even for
// root; false where the file system does not allow it.
bool SetImmutable(const std::string& path, bool on) {
  int fd = open(AnsiToUtf8(path).c_str(), O_RDONLY);
  int flags = 0;
  bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

void Link(const std::string& target, const std::string& link) {
  std::filesystem::create_symlink(AnsiToUtf8(target), AnsiToUtf8(link));
}

// The tree, with symbolic links added by each test.
using FileUtilLinkedTree = test::FileUtilTree;

// That removing a link leaves its target is the file layer's; here, that the
// walk never enters a folder link, below the folder or as the folder itself.
TEST_F(FileUtilLinkedTree, DeleteTreeRemovesReadOnlyEntriesAndLinksButNotTheirTargets) {
  test::WriteFile(dir / "a/s/.cfg", "c");
  test::MakeReadOnly(dir / "a/f1");
  test::MakeReadOnly(dir / "a/s/t");
  Link(dir / "outside", dir / "a/s/link");
  Link(dir / "none", dir / "a/dangling");
  EXPECT_TRUE(U::DeleteTree(dir / "A"));
  EXPECT_FALSE(test::PathExists(dir / "a"));
  EXPECT_FALSE(U::DeleteTree(dir / "a"));
  EXPECT_FALSE(U::DeleteTree(dir / "outside/keep.txt"));
  Link(dir / "outside", dir / "named");  // the link goes, its target stays whole
  EXPECT_TRUE(U::DeleteTree(dir / "named"));
  EXPECT_FALSE(test::PathExists(dir / "named"));
  EXPECT_EQ(test::ReadFile(dir / "outside/keep.txt"), "outside/keep.txt");
}

TEST_F(FileUtilLinkedTree, DeleteTreeGoesOnAfterAFailureAndKeepsTheFolder) {
  if (!SetImmutable(dir / "a/b/w.txt", true)) GTEST_SKIP() << "no immutable files here";
  bool deleted = U::DeleteTree(dir / "a");
  SetImmutable(dir / "a/b/w.txt", false);
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(test::PathExists(dir / "a/b/w.txt"));
  EXPECT_FALSE(test::PathExists(dir / "a/b/c") || test::PathExists(dir / "a/s"));
}

}  // namespace
}  // namespace slv2
