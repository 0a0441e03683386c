// Paths below an anchored root: no link is followed, only regular files are
// opened, and a replaced file keeps its rights.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

namespace stdfs = std::filesystem;

class AnchoredRootTest : public ::testing::Test {
 protected:
  AnchoredRootTest() {
    test::WriteFile(outside + "/victim.txt", "victim");
    test::WriteFile(root + "/new.tmp", "new");
    test::WriteFile(root + "/sub/f", "f");
    test::PlantPupilLink(outside, root + "/bin");
    test::PlantPupilLink(outside + "/victim.txt", root + "/app.dll");
    test::PlantPupilLink("../outside", root + "/up");
    ::mkfifo(AnsiToUtf8(root + "/pipe.dll").c_str(), 0666);
    // A second name for another account's file, as a pupil may plant one
    // where hard links are not protected.
    test::WriteFile(outside + "/teacher.db", "marks");
    ::chmod(AnsiToUtf8(outside + "/teacher.db").c_str(), 0640);
    if (::geteuid() == 0) ::chown(AnsiToUtf8(outside + "/teacher.db").c_str(), 65534, 65534);
    stdfs::create_hard_link(AnsiToUtf8(outside + "/teacher.db"), AnsiToUtf8(root + "/marks.db"));
    before = test::Fingerprint(outside);
  }

  test::TempDir dir;
  std::string root = dir / "root", outside = dir / "outside";
  std::string before;
  AnchoredRoot anchor{root};
};

TEST_F(AnchoredRootTest, NothingIsReachedThroughALinkBelowTheRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "links of the running user are followed";
  using Op = std::function<bool(const std::string&)>;
  auto read = [](const std::string& p) {
    return FileHandle::Open(p, kGenericRead, kShareRead, kOpenExisting).Valid();
  };
  auto write = [](const std::string& p) {
    return FileHandle::Open(p, kGenericWrite, 0, kCreateAlways).Valid();
  };
  auto readOnly = [](const std::string& p) { return SetFileAttributes(p, kAttrReadOnly); };
  auto copyOut = [this](const std::string& p) { return CopyFile(p, root + "/copy", false); };
  auto copyIn = [this](const std::string& p) { return CopyFile(root + "/new.tmp", p, false); };
  auto list = [](const std::string& p) {
    DirListing listing(p + "/*");
    FindData entry;
    return listing.Next(&entry);
  };
  auto temp = [](const std::string& p) { return !GetTempFileName(p, "tmp").empty(); };
  auto mkdir = [](const std::string& p) { return CreateDirectory(p + "/sub"); };
  struct Case {
    const char* what;
    Op op;
    const char* path;
    uint32_t error;  // 0: succeeds
  };
  const Case cases[] = {
      {"read a FIFO", read, "pipe.dll", kErrorCantAccessFile},
      {"write through a folder link", write, "bin/victim.txt", kErrorStoppedOnSymlink},
      {"write a file link", write, "app.dll", kErrorStoppedOnSymlink},
      {"make a file link's target read-only", readOnly, "app.dll", kErrorStoppedOnSymlink},
      {"copy from a file link", copyOut, "app.dll", kErrorStoppedOnSymlink},
      {"copy from a FIFO", copyOut, "pipe.dll", kErrorCantAccessFile},
      {"copy onto a file link", copyIn, "app.dll", kErrorStoppedOnSymlink},
      {"truncate a planted hard link", write, "marks.db", kErrorAccessDenied},
      {"copy onto a planted hard link", copyIn, "marks.db", kErrorAccessDenied},
      {"make a planted hard link read-only", readOnly, "marks.db", kErrorAccessDenied},
      {"read a planted hard link", read, "marks.db", 0},
      {"list a folder link", list, "bin", kErrorStoppedOnSymlink},
      {"temporary file in a folder link", temp, "bin", kErrorStoppedOnSymlink},
      {"folder in a folder link", mkdir, "bin", kErrorStoppedOnSymlink},
      {"read through a climbing link", read, "up/victim.txt", kErrorStoppedOnSymlink},
      {"climb above the root", read, "x/../../outside/victim.txt", kErrorBadPathname},
      {"climb and come back", read, "sub/../new.tmp", 0},
  };
  // Whether the kernel resolves (openat2) or the layer walks.
  for (bool kernel : {true, false}) {
    posix::UseKernelResolution(kernel);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (kernel ? " (kernel)" : " (walk)"));
      EXPECT_EQ(c.op(root + "/" + c.path), c.error == 0);
      if (c.error) {
        EXPECT_EQ(LastError(), c.error);
      }
    }
  }
  posix::UseKernelResolution(true);
  EXPECT_EQ(test::Fingerprint(outside), before);
  // A root is counted: only when the last object of it goes is what was below
  // it reached as anywhere else.
  test::PlantPupilLink(outside, dir / "other/bin");
  {
    AnchoredRoot first(dir / "other");
    { AnchoredRoot second(dir / "other/"); }
    EXPECT_FALSE(read(dir / "other/bin/victim.txt"));
  }
  EXPECT_TRUE(read(dir / "other/bin/victim.txt"));
  // A link is marked as a folder and a reparse point, in a listing too; a
  // root below another is the folder it holds.
  DirListing listing(root + "/b*");
  FindData entry;
  ASSERT_TRUE(listing.Next(&entry));
  for (uint32_t attributes : {GetFileAttributes(root + "/bin"), entry.attributes}) {
    EXPECT_EQ(attributes & (kAttrDirectory | kAttrReparsePoint),
              kAttrDirectory | kAttrReparsePoint);
  }
  {
    AnchoredRoot sub(root + "/sub");
    EXPECT_EQ(GetFileAttributes(root + "/sub"), kAttrDirectory);
  }
  // Deleting a link removes the link; renaming over it replaces the link.
  EXPECT_TRUE(RemoveDirectory(root + "/bin"));
  EXPECT_TRUE(ReplaceFile(root + "/new.tmp", root + "/app.dll"));
  EXPECT_EQ(test::ReadFile(root + "/app.dll"), "new");
  // Renaming over a planted hard link takes nothing of the file it names.
  test::WriteFile(root + "/marks.tmp", "new");
  EXPECT_TRUE(ReplaceFile(root + "/marks.tmp", root + "/marks.db"));
  struct stat st;
  ASSERT_EQ(::stat(AnsiToUtf8(root + "/marks.db").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(test::Fingerprint(outside), before);
}

// An administrator may move a product's folder to another disk and leave a
// link: links of root (and of the running user) are followed, their targets
// by the same rules, those of anyone else are not.
TEST_F(AnchoredRootTest, LinksOfRootAreFollowedThoseOfAPupilAreNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant as another user";
  test::WriteFile(outside + "/product/data.txt", "data");
  auto own = [](const std::string& target, const std::string& at) {
    stdfs::create_symlink(AnsiToUtf8(target), AnsiToUtf8(at));
  };
  // A second name of one of root's links, as a pupil may make one where
  // fs.protected_hardlinks is 0: the link would pass for root's own.
  own(outside, root + "/disk3");
  ::link(AnsiToUtf8(root + "/disk3").c_str(), AnsiToUtf8(root + "/disk3-again").c_str());
  own(root + "/bin", root + "/via-pupil");
  own(outside + "/product", root + "/moved");
  test::PlantPupilLink(outside + "/product", root + "/planted");
  before = test::Fingerprint(outside);
  struct Case {
    const char* what;
    std::string path;
    uint32_t error;  // 0: read
  };
  const Case cases[] = {
      {"root's link with a second name", root + "/disk3-again/victim.txt", kErrorStoppedOnSymlink},
      {"root's link to a pupil's link", root + "/via-pupil/victim.txt", kErrorStoppedOnSymlink},
      {"a product folder moved by root", root + "/moved/data.txt", 0},
      {"a product folder planted by a pupil", root + "/planted/data.txt", kErrorStoppedOnSymlink},
  };
  for (bool kernel : {true, false}) {
    posix::UseKernelResolution(kernel);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (kernel ? " (kernel)" : " (walk)"));
      // Also as a product's own root below the shell's.
      std::string product = c.path.substr(0, c.path.rfind('/'));
      AnchoredRoot nested(product);
      FileHandle file = FileHandle::Open(c.path, kGenericRead, kShareRead, kOpenExisting);
      EXPECT_EQ(file.Valid(), c.error == 0);
      if (c.error) {
        EXPECT_EQ(LastError(), c.error);
      }
    }
  }
  posix::UseKernelResolution(true);
  EXPECT_EQ(test::Fingerprint(outside), before);
}

TEST_F(AnchoredRootTest, AReplacedFileKeepsItsPermissionBitsAndAccessList) {
  std::string target = root + "/run.sh";
  test::WriteFile(target, "old");
  ::chmod(AnsiToUtf8(target).c_str(), 0750);
  test::CommandOutput("setfacl -m u:nobody:rx " + AnsiToUtf8(target));
  ASSERT_TRUE(ReplaceFile(root + "/new.tmp", target));
  struct stat st;
  ::stat(AnsiToUtf8(target).c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  std::string acl = test::CommandOutput("getfacl -cp " + AnsiToUtf8(target));
  EXPECT_NE(acl.find("user:nobody:r-x"), std::string::npos) << acl;
}

}  // namespace
}  // namespace slv2::fs
