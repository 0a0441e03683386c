// Paths below an anchored root: no link is followed, only regular files are
// opened, and a replaced file keeps its rights.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

namespace stdfs = std::filesystem;

// Every entry below a folder with its kind, permission bits and content.
std::string Snapshot(const std::string& folder) {
  std::string out;
  for (const auto& e : stdfs::recursive_directory_iterator(AnsiToUtf8(folder))) {
    struct stat st;
    ::lstat(e.path().c_str(), &st);
    out += e.path().string() + " " + std::to_string(st.st_mode) + " ";
    if (S_ISREG(st.st_mode)) out += test::ReadFile(Utf8ToAnsi(e.path().string()));
    out += "\n";
  }
  return out;
}

class AnchoredRootTest : public ::testing::Test {
 protected:
  AnchoredRootTest() {
    test::WriteFile(outside + "/victim.txt", "victim");
    test::WriteFile(root + "/new.tmp", "new");
    stdfs::create_directory_symlink(AnsiToUtf8(outside), AnsiToUtf8(root + "/bin"));
    stdfs::create_symlink(AnsiToUtf8(outside + "/victim.txt"), AnsiToUtf8(root + "/app.dll"));
    ::mkfifo(AnsiToUtf8(root + "/pipe.dll").c_str(), 0666);
    before = Snapshot(outside);
  }

  test::TempDir dir;
  std::string root = dir / "root", outside = dir / "outside";
  std::string before;
  AnchoredRoot anchor{root};
};

TEST_F(AnchoredRootTest, NothingIsReachedThroughALinkBelowTheRoot) {
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
      {"read through a folder link", read, "bin/victim.txt", kErrorStoppedOnSymlink},
      {"read a file link", read, "app.dll", kErrorStoppedOnSymlink},
      {"read a FIFO", read, "pipe.dll", kErrorCantAccessFile},
      {"write through a folder link", write, "bin/victim.txt", kErrorStoppedOnSymlink},
      {"write a file link", write, "app.dll", kErrorStoppedOnSymlink},
      {"write a FIFO", write, "pipe.dll", kErrorCantAccessFile},
      {"make a file link's target read-only", readOnly, "app.dll", kErrorStoppedOnSymlink},
      {"copy from a file link", copyOut, "app.dll", kErrorStoppedOnSymlink},
      {"copy from a FIFO", copyOut, "pipe.dll", kErrorCantAccessFile},
      {"copy onto a file link", copyIn, "app.dll", kErrorStoppedOnSymlink},
      {"list a folder link", list, "bin", kErrorStoppedOnSymlink},
      {"temporary file in a folder link", temp, "bin", kErrorStoppedOnSymlink},
      {"folder in a folder link", mkdir, "bin", kErrorStoppedOnSymlink},
      {"climb above the root", read, "x/../../outside/victim.txt", kErrorBadPathname},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.op(root + "/" + c.path));
    EXPECT_EQ(LastError(), c.error);
  }
  EXPECT_EQ(Snapshot(outside), before);
  // Deleting a link removes the link; renaming over it replaces the link.
  EXPECT_TRUE(RemoveDirectory(root + "/bin"));
  EXPECT_TRUE(ReplaceFile(root + "/new.tmp", root + "/app.dll"));
  EXPECT_EQ(test::ReadFile(root + "/app.dll"), "new");
  EXPECT_EQ(Snapshot(outside), before);
}

TEST_F(AnchoredRootTest, AReplacedFileKeepsItsPermissionBitsAndAccessList) {
  std::string target = root + "/run.sh";
  test::WriteFile(target, "old");
  ::chmod(AnsiToUtf8(target).c_str(), 0750);
  ASSERT_EQ(std::system(("setfacl -m u:nobody:rx " + AnsiToUtf8(target)).c_str()), 0);
  ASSERT_TRUE(ReplaceFile(root + "/new.tmp", target));
  struct stat st;
  ::stat(AnsiToUtf8(target).c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  std::string acl = dir / "acl.txt";
  std::system(("getfacl -cp " + AnsiToUtf8(target) + " >" + AnsiToUtf8(acl)).c_str());
  EXPECT_NE(test::ReadFile(acl).find("user:nobody:r-x"), std::string::npos) << test::ReadFile(acl);
}

// Random trees of folders, files and links of every kind (absolute,
// relative, dangling, looping, climbing with ".."), random paths through
// them: every path is refused or located below the root with no link on the
// way, whether the kernel resolves (openat2) or the layer walks.
TEST_F(AnchoredRootTest, EveryPathIsRefusedOrLiesBelowTheRootWithoutALinkOnTheWay) {
  const std::vector<std::string> names = {"a", "B", "c", "..", "."};
  const std::vector<std::string> targets = {"/",       "..",   "../..", "../../outside",    "a",
                                            "missing", "self", "B/c",   AnsiToUtf8(outside)};
  std::string rootNative = AnsiToUtf8(root);
  std::string rootReal = stdfs::canonical(rootNative).string();
  for (bool kernel : {true, false}) {
    posix::UseKernelResolution(kernel);
    for (unsigned seed = 1; seed <= 30; ++seed) {
      std::mt19937 random(seed);
      auto pick = [&random](const auto& list) { return list[random() % list.size()]; };
      stdfs::remove_all(rootNative + "/t");
      // Grown from real folders only, so that making it follows no link.
      std::vector<std::string> folders = {rootNative + "/t"};
      stdfs::create_directory(folders[0]);
      for (int i = 0; i < 25; ++i) {
        std::string path = pick(folders) + "/" + pick(std::vector<std::string>{"a", "B", "c"});
        if (stdfs::exists(stdfs::symlink_status(path))) continue;
        switch (random() % 3) {
          case 0:
            stdfs::create_directory(path);
            folders.push_back(path);
            break;
          case 1:
            test::WriteFile(Utf8ToAnsi(path), "f");
            break;
          default:
            stdfs::create_symlink(pick(targets), path);
        }
      }
      for (int i = 0; i < 40; ++i) {
        std::string path = root + "/t";
        for (int depth = 0, n = 1 + static_cast<int>(random() % 5); depth < n; ++depth)
          path += (random() % 2 ? "/" : "\\") + pick(names);
        std::string native = NativePath(path);
        if (native.empty() || native == rootNative) continue;  // refused, or the root
        SCOPED_TRACE(path + " -> " + native);
        ASSERT_EQ(native.rfind(rootNative + "/", 0), 0u);
        std::string below = native.substr(rootNative.size());
        ASSERT_EQ(below.find("/../"), std::string::npos);
        // No folder on the way is a link, so the location's folder is below
        // the root however the kernel would resolve it.
        stdfs::path prefix = rootNative;
        for (const stdfs::path& c : stdfs::path(below.substr(1)).parent_path()) {
          prefix /= c;
          EXPECT_FALSE(stdfs::is_symlink(prefix)) << prefix;
        }
        std::error_code missing;
        stdfs::path folder = stdfs::canonical(stdfs::path(native).parent_path(), missing);
        if (!missing) {
          EXPECT_EQ(folder.string().rfind(rootReal, 0), 0u);
        }
      }
    }
  }
  posix::UseKernelResolution(true);
  EXPECT_EQ(Snapshot(outside), before);
}

}  // namespace
}  // namespace slv2::fs
