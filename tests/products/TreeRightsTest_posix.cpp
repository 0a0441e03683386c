// The shell's tree opened to all users on real files, access lists and
// processes: what is opened, what is left as it is, and a pupil who swaps
// folders for links while the walk runs.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "AclTestSupport.h"
#include "RecordedOutcomes.h"
#include "products/SecurityUtil.h"
#include "products/TreeRights.h"
#include "sys/FileLayer.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

namespace stdfs = std::filesystem;
constexpr uid_t kTeacher = test::kTeacherUid, kPupil = test::kPupilUid;

class TreeRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
    std::string why = test::WhyNoAcls(dir.Path());
    if (!why.empty()) GTEST_SKIP() << why;
    stdfs::create_directories(AnsiToUtf8(root));
    ::chmod(AnsiToUtf8(dir.Path()).c_str(), 0755);
    // A teacher's private folder outside the shell's tree.
    test::WriteFile(victim + "/marks.db", "marks");
    test::WriteFile(victim + "/sub/notes.txt", "notes");
    for (const auto& e : stdfs::recursive_directory_iterator(AnsiToUtf8(victim)))
      ::lchown(e.path().c_str(), kTeacher, kTeacher);
    ::chown(AnsiToUtf8(victim).c_str(), kTeacher, kTeacher);
    ::chmod(AnsiToUtf8(victim).c_str(), 0700);
    ::chmod(AnsiToUtf8(victim + "/marks.db").c_str(), 0600);
    before = test::Fingerprint(AnsiToUtf8(victim));
  }

  // Whether the walk went to its end ("walked" or "failed"), then its lines.
  std::vector<std::string> Walk(const std::string& tree = {}) {
    std::vector<std::string> lines;
    TreeRightsEvents events;
    events.warning = [&lines](const std::string& m) { lines.push_back("WARN " + m); };
    events.failure = [&lines](const std::string& m) { lines.push_back("FAIL " + m); };
    bool walked =
        OpenTreeToEveryone(tree.empty() ? root : tree, security::PlatformSecurityApi(), events);
    lines.insert(lines.begin(), walked ? "walked" : "failed");
    return lines;
  }

  test::TempDir dir;
  std::string root = dir / "shell", victim = dir / "teacher";
  std::string before;
};

// What each kind of entry becomes. A
// regular file with a second name that is not the shell folder's owner's
// own may be someone else's file linked in (where fs.protected_hardlinks is
// 0): left as it is, with a warning that names it where it lies.
TEST_F(TreeRightsTest, EachKindOfEntry) {
  std::string deep = root;
  while (deep.size() < 300)
    deep += "/folder-with-a-long-name";
  test::WriteFile(root + "/ro.txt", "r");
  ::chmod(AnsiToUtf8(root + "/ro.txt").c_str(), 0444);
  test::WriteFile(deep + "/far.txt", "far");
  ::mkfifo(AnsiToUtf8(root + "/pipe").c_str(), 0600);
  stdfs::create_symlink(AnsiToUtf8(victim + "/marks.db"), AnsiToUtf8(root + "/marks.lnk"));
  stdfs::create_directory_symlink(AnsiToUtf8(victim), AnsiToUtf8(root + "/teacher.lnk"));
  test::WriteFile(dir / "root-only", "secret");
  ::chmod(AnsiToUtf8(dir / "root-only").c_str(), 0600);
  // In sibling folders: each warning must name its own.
  stdfs::create_directories(AnsiToUtf8(root + "/x"));
  stdfs::create_directories(AnsiToUtf8(root + "/y"));
  ::link(AnsiToUtf8(victim + "/marks.db").c_str(), AnsiToUtf8(root + "/x/marks.hard").c_str());
  ::link(AnsiToUtf8(dir / "root-only").c_str(), AnsiToUtf8(root + "/y/root.hard").c_str());

  std::vector<std::string> lines = Walk();
  const std::pair<std::string, mode_t> modes[] = {
      {root, 0777},           {root + "/ro.txt", 0555},  {deep, 0777}, {deep + "/far.txt", 0777},
      {root + "/pipe", 0600}, {dir / "root-only", 0600},
  };
  for (const auto& [path, mode] : modes) {
    struct stat st {};
    ::lstat(AnsiToUtf8(path).c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode) << path;
  }
  EXPECT_NE(test::GetFacl(deep).find("default:other::rwx"), std::string::npos);
  EXPECT_EQ(test::Fingerprint(AnsiToUtf8(victim)), before);
  std::sort(lines.begin(), lines.end());
  const char* kept =
      "\" has 2 names and belongs to another account: its rights are left as they are";
  EXPECT_EQ(lines, (std::vector<std::string>{"WARN \"" + root + "/x/marks.hard" + kept,
                                             "WARN \"" + root + "/y/root.hard" + kept, "walked"}));
}

// Only a root with nothing at all at its path is nothing to do. One that
// cannot be walked as a folder fails with a line naming it, whatever error
// an earlier call left behind: a folder closed to the running user, a
// pupil's link (it may lead anywhere) and a file. Which links the file layer
// follows to an anchored root is its own tests' concern.
TEST_F(TreeRightsTest, WhatLiesAtTheRoot) {
  std::string closed = dir / "closed";
  test::WriteFile(closed + "/a.txt", "a");
  ::chmod(AnsiToUtf8(closed).c_str(), 0700);
  stdfs::create_directory_symlink(AnsiToUtf8(victim), AnsiToUtf8(dir / "pupil.lnk"));
  ::lchown(AnsiToUtf8(dir / "pupil.lnk").c_str(), kPupil, kPupil);
  test::WriteFile(dir / "file", "f");
  struct Case {
    const char* name;
    bool asNobody;
    const char* outcome;  // {root}: the root's path
  } cases[] = {
      // clang-format off
      {"missing", false, "walked"},
      {"closed", true, "failed\nFAIL \"{root}\" not opened to all users: Access is denied"},
      {"pupil.lnk", false, "failed\nFAIL \"{root}\" not opened to all users: The create operation stopped after reaching a symbolic link"},
      {"file", false, "failed\nFAIL \"{root}\" not opened to all users: The directory name is invalid"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string tree = dir / c.name;
    std::string expected = ReplaceAll(c.outcome, "{root}", tree, false);
    auto walk = [&] {
      fs::SetLastError(kErrorPathNotFound);  // left by an earlier call
      return test::Text(Walk(tree));
    };
    if (c.asNobody)
      EXPECT_TRUE(test::AsNobody([&] { return walk() == expected; }));
    else
      EXPECT_EQ(walk(), expected);
  }
  EXPECT_EQ(test::Fingerprint(AnsiToUtf8(victim)), before);
}

// While root runs, a pupil swaps the product folder and a sub-folder for
// links to the teacher's folder (renameat2 exchange) as fast as he can: the
// rights walk, attribute and access-list changes and writes below the
// product's anchored root never reach the teacher's folder.
TEST_F(TreeRightsTest, APupilSwappingFoldersForLinksReachesNothingOutside) {
  std::string product = root + "/mathematics1";
  test::WriteFile(product + "/sub/data.txt", "data");
  test::WriteFile(product + "/readme.txt", "readme");
  for (const std::string& folder : {root, product, product + "/sub"})
    ::chmod(AnsiToUtf8(folder).c_str(), 0777);
  ::chown(AnsiToUtf8(product).c_str(), kPupil, kPupil);
  stdfs::create_directory_symlink(AnsiToUtf8(victim), AnsiToUtf8(root + "/swap"));
  stdfs::create_directory_symlink(AnsiToUtf8(victim + "/sub"), AnsiToUtf8(product + "/swap"));
  ::lchown(AnsiToUtf8(root + "/swap").c_str(), kPupil, kPupil);
  ::lchown(AnsiToUtf8(product + "/swap").c_str(), kPupil, kPupil);

  long swapped = 0;
  constexpr int kRuns = 60;
  int refused = 0;
  {
    test::PupilSwapper pupil(AnsiToUtf8(root),
                             {{"mathematics1", "swap"}, {"mathematics1/sub", "mathematics1/swap"}});
    for (int run = 0; run < kRuns; ++run) {
      pupil.WaitForTurns();
      fs::AnchoredRoot shell(root), anchor(product);
      Walk();
      refused += !fs::SetFileAttributes(product + "/sub/data.txt", fs::kAttrReadOnly);
      refused += !fs::SetFileAttributes(product + "/sub/data.txt", fs::kAttrNormal);
      refused += !AllowFileForEveryone(product);
      refused += !AllowFileForEveryone(product + "/sub");
      refused +=
          !fs::FileHandle::Open(product + "/sub/new.txt", fs::kGenericWrite, 0, fs::kCreateAlways)
               .Valid();
    }
    swapped = pupil.Swaps();
  }
  EXPECT_GE(swapped, 3 * kRuns);
  std::printf(
      "%d runs with a pupil swapping folders (%ld swaps): %d operations refused, "
      "teacher's folder unchanged: %s\n",
      kRuns, swapped, refused, test::Fingerprint(AnsiToUtf8(victim)) == before ? "yes" : "no");
  EXPECT_EQ(test::Fingerprint(AnsiToUtf8(victim)), before);
}

}  // namespace
}  // namespace slv2
