// A pupil racing the administrator's real run: while the built slv2update
// --quiet brings the demo's family up to date as root (KillMachine.h), a
// pupil's process swaps the subject's folder and one of its sub-folders with
// links to a teacher's private folder (renameat2 exchange) as fast as it can.
// Whatever the run refuses (the swapped folders' products fail, which is
// right) or ends with, nothing of the teacher's folder
// changes: not a byte, a mode, an owner or an access list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "KillMachine.h"

namespace slv2 {
namespace {

namespace stdfs = std::filesystem;
constexpr uid_t kTeacher = test::kTeacherUid, kPupil = test::kPupilUid;

TEST(SlvUpdateRaceTest, APupilSwappingFoldersForLinksDuringARunReachesNothingOutside) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  test::TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  std::unique_ptr<test::KillMachine> machine = test::MakeKillMachine(dir);
  ASSERT_TRUE(machine);
  const std::string shell = dir / "run/machine/Solvane", subject = shell + "/mathematics1";
  const std::string victim = dir / "victim";
  test::WriteFile(victim + "/marks.db", "marks");
  test::WriteFile(victim + "/sub/notes.txt", "notes");
  for (const auto& e : stdfs::recursive_directory_iterator(victim))
    ::lchown(e.path().c_str(), kTeacher, kTeacher);
  ::chown(victim.c_str(), kTeacher, kTeacher);
  ::chmod(victim.c_str(), 0700);
  ::chmod((victim + "/marks.db").c_str(), 0600);
  const std::string before = test::Fingerprint(victim);

  long swapped = 0;
  constexpr int kRuns = 50;
  for (int run = 0; run < kRuns; ++run) {
    // The tree as a pupil finds it after an update: open to everyone, the
    // subject's folder his own, his links ready beside the folders.
    machine->Restore();
    for (const std::string& folder : {shell, subject, subject + "/data"})
      ::chmod(folder.c_str(), 0777);
    ::chown(subject.c_str(), kPupil, kPupil);
    stdfs::create_directory_symlink(victim, shell + "/swap");
    stdfs::create_directory_symlink(victim + "/sub", subject + "/swap");
    ::lchown((shell + "/swap").c_str(), kPupil, kPupil);
    ::lchown((subject + "/swap").c_str(), kPupil, kPupil);
    test::PupilSwapper pupil(
        shell, {{"mathematics1", "swap"}, {"mathematics1/data", "mathematics1/swap"}});
    pupil.WaitForTurns();
    int status = test::WaitProgram(test::StartProgram(
        "slv2update", {"--quiet", "--package-dir", machine->Package()}, dir / "out", dir / "err"));
    EXPECT_NE(status, -1) << test::ReadFile(dir / "err");
    swapped += pupil.Swaps();
  }
  EXPECT_GE(swapped, 3 * kRuns);
  EXPECT_EQ(test::Fingerprint(victim), before);
}

}  // namespace
}  // namespace slv2
