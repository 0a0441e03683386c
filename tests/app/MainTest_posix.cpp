// slv2update run as administrators and deployment tools run it: --quiet
// against temporary machines (the family machine: a registry
// through SLV2_REGISTRY, product folders, update storages), checking the
// protocol, what changed on disk and every exit status; beside them the
// checks of the start-up that need the real system (output files, the
// shell's window on an X server, the administrator).
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "FamilyMachine.h"
#include "XDisplaySupport.h"
#include "app/AdminRights.h"
#include "app/ExitStatus.h"
#include "app/OutputFile.h"
#include "app/ShellWindow.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"

namespace slv2 {
namespace {

struct Result {
  int status;       // as the shell sees it: the low 8 bits on Linux
  std::string out;  // UTF-8, as on the terminal
  std::string err;
};

// The low 8 bits of an exit status, all that a Linux parent receives.
int Seen(int status) {
  return status & 0xFF;
}

class SlvUpdateTest : public ::testing::Test {
 protected:
  // Runs slv2update with the arguments; `prefix` (a program and its
  // arguments, setpriv) goes before it.
  Result Run(const std::vector<std::string>& args, std::vector<std::string> prefix = {}) {
    prefix.push_back(test::BinDir() + "/slv2update");
    prefix.insert(prefix.end(), args.begin(), args.end());
    std::string program = prefix.front();
    prefix.erase(prefix.begin());
    int status =
        test::WaitProgram(test::StartProgram(program, prefix, dir / "stdout", dir / "stderr"));
    return {status, test::ReadFile(dir / "stdout"), test::ReadFile(dir / "stderr")};
  }
  Result Update(std::vector<std::string> args) {
    args.insert(args.end(), {"--quiet", "--package-dir", package});
    return Run(args);
  }

  test::FamilyMachine machine;
  const test::TempDir& dir = machine.dir;
  const std::string package = machine.package, shell = machine.shell;
  test::ScopedEnv noDisplay{"DISPLAY", ""};
};

// Every exit status but those of a run and of another run: what the
// program says and that nothing changed.
TEST_F(SlvUpdateTest, ExitStatusesOfTheStartUp) {
  machine.Install("ege");
  test::WriteFile(shell + "/ege/a.txt", "old");
  machine.Pack("ege", {{"files/product/a.txt", "new"}});
  const std::string database = machine.registry.DatabasePath();
  struct Case {
    std::vector<std::string> args;  // --package-dir added unless given
    int status;
    std::string out, err;  // parts of them
    std::vector<std::string> prefix = {};
    bool shellOpen = false;     // the shell's window is open
    bool registryHeld = false;  // another process holds the registry
  };
  // clang-format off
  std::vector<Case> cases = {
    {{"--help"}, 0, "--package-dir DIR", ""},
    {{"--version"}, 0, "slv2update 2.1", ""},
    {{"--quiet", "--silent"}, kExitInvalidCommand, "", "slv2update: unknown argument --silent"},
    {{"--quiet", "--package-dir", dir / "none"}, kExitInvalidCommand, "", "not a folder: " + dir / "none"},
    // The window needs a display; without one the program says so.
    {{}, kExitFailed, "", "use --console or --quiet"},
    {{"--quiet", "--package-dir", dir.Path()}, kExitNothingToUpdate, "", "[Information]\nУ Вас не установлен ни один продукт"},
    // A detailed log that cannot be written is said before anything is done.
    {{"--quiet", "--log", "/dev/full"}, kExitFailed, "", "slv2update: cannot write the log /dev/full: There is not enough space on the disk"},
    {{"--quiet", "--log", dir.Path()}, kExitFailed, "", "slv2update: cannot open the log " + dir.Path() + ": Access is denied"},
    {{"--quiet", "--log", dir / "missing/u.log"}, kExitFailed, "", "slv2update: cannot open the log " + dir / "missing/u.log"},
    // Within seconds, not waiting for the other process.
    {{"--quiet"}, kExitFailed, "", "the registry database \"" + database + "\" is busy", {}, false, true},
  };
  // clang-format on
  if (::geteuid() == 0) {
    // The other user must reach the package folder.
    std::filesystem::permissions(test::FsPath(dir.Path()), std::filesystem::perms::all);
    cases.push_back({{"--quiet"},
                     kExitNotAdministrator,
                     "",
                     "[Warning]\nДля выполнения программы обновления",
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}});
  }
  test::XDisplay display;
  if (display.Ok()) {
    // Unattended: engines retry this status later. (Asking again at the
    // terminal is the session's and the console's.)
    display.OpenWindow("solvane", "Zarvik:Solvane_2.0");
    cases.push_back({{"--quiet"},
                     kExitShellRunning,
                     "",
                     "[Warning]\nВ настоящий момент программа \"Zarvik:Solvane 2.х\"",
                     {},
                     true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(window)" : c.args.back());
    std::vector<std::string> args = c.args;
    if (std::find(args.begin(), args.end(), "--package-dir") == args.end())
      args.insert(args.end(), {"--package-dir", package});
    test::ScopedEnv shown("DISPLAY", c.shellOpen ? display.Name() : "");
    std::optional<test::DatabaseWriter> writer;
    if (c.registryHeld) {
      ASSERT_TRUE(writer.emplace(database).Holding());
    }
    Result run = Run(args, c.prefix);
    EXPECT_EQ(run.status, Seen(c.status));
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "old");
}

// The --log and --report files: a link a pupil planted on their way, where
// pupils may write, stops the start-up; a link in the last place is never
// followed; a device, a FIFO and "-" are written into.
TEST_F(SlvUpdateTest, OutputFilesWhereAPupilMayPlantLinks) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant as another user";
  std::string open = dir / "public", closed = dir / "private", secret = dir / "secret.txt";
  std::filesystem::create_directories(test::FsPath(open));
  std::filesystem::create_directories(test::FsPath(closed));
  ::chmod(AnsiToUtf8(dir.Path()).c_str(), 0755);
  ::chmod(AnsiToUtf8(open).c_str(), 01777);
  test::WriteFile(secret, "root's");
  test::PlantPupilLink(secret, open + "/last.log");
  test::PlantPupilLink(closed, open + "/way");
  std::filesystem::create_symlink(test::FsPath(secret), test::FsPath(closed + "/admin.json"));
  // An administrator's links on the way, relative ones climbing with "..":
  // followed, while a pupil's link past them is still refused.
  std::filesystem::create_symlink("..", test::FsPath(closed + "/up"));
  std::filesystem::create_symlink("../public", test::FsPath(closed + "/to-public"));
  // A pupil's own folder, though no one else may write it.
  std::string own = dir / "pupil";
  test::PlantPupilLink(secret, own + "/last.log");
  ASSERT_EQ(::chown(AnsiToUtf8(own).c_str(), 65534, 65534), 0);
  std::string fifo = dir / "collector";
  ::mkfifo(AnsiToUtf8(fifo).c_str(), 0600);
  // Held open for reading, so that the program's open does not wait.
  int reader = ::open(AnsiToUtf8(fifo).c_str(), O_RDWR | O_NONBLOCK);
  const std::string refused = "lies in a folder others may write";
  struct Case {
    std::vector<std::string> args;
    bool started;
    std::string out, err;  // parts of them
  };
  const Case cases[] = {
      {{"--log", open + "/last.log"}, false, "", refused},
      {{"--report", closed + "/to-public/way/r.json"}, false, "", refused},
      {{"--log", own + "/last.log"}, false, "", refused},
      {{"--log", closed + "/up/private/run.log"}, true, "", ""},
      {{"--report", closed + "/admin.json"}, true, "", ""},
      {{"--report", "/dev/null"}, true, "", ""},
      {{"--report", fifo}, true, "", ""},
      {{"--report", "-"}, true, "\"exitStatus\"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    Result run = Update(c.args);
    EXPECT_EQ(run.status == Seen(kExitInvalidCommand), !c.started) << run.err;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::ReadFile(secret), "root's");
  EXPECT_EQ(test::ListTree(closed),
            (std::vector<std::string>{"admin.json", "run.log", "to-public", "up"}));
  EXPECT_FALSE(std::filesystem::is_symlink(test::FsPath(closed + "/admin.json")));
  struct stat st;
  EXPECT_TRUE(::stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
  char buffer[4096];
  ssize_t n = ::read(reader, buffer, sizeof buffer);
  ::close(reader);
  EXPECT_NE(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0).find("\"exitStatus\""),
            std::string::npos);
}

// The output file is reached from the folder first walked to: a folder on
// the way swapped for a link after the check changes nothing.
TEST(OutputFileTest, AFolderSwappedForALinkAfterTheWalkIsNotTaken) {
  test::TempDir dir;
  std::filesystem::create_directories(test::FsPath(dir / "logs"));
  std::filesystem::create_directories(test::FsPath(dir / "victim"));
  TOutputFile output(dir / "logs/run.log");
  // What a pupil's process does between the check and the write.
  std::filesystem::rename(test::FsPath(dir / "logs"), test::FsPath(dir / "moved"));
  std::filesystem::create_directory_symlink(test::FsPath(dir / "victim"),
                                            test::FsPath(dir / "logs"));
  fs::FileHandle file = fs::FileHandle::Open(output.Path(), fs::kGenericWrite, 0, fs::kOpenAlways);
  ASSERT_TRUE(file.Valid());
  ASSERT_TRUE(file.Write("x", 1));
  EXPECT_EQ(test::ReadFile(dir / "moved/run.log"), "x");
}

// A pupil (here: nobody) plants links in a product folder that all users
// may write: the update follows none of them, says so in its log, and still
// updates everything else.
TEST_F(SlvUpdateTest, LinksPlantedByAUserLeadNowhere) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant as another user";
  machine.Install("ege");
  std::string product = shell + "/ege", outside = dir / "outside";
  test::WriteFile(product + "/ok.txt", "old");
  test::WriteFile(outside + "/victim.tmp", "victim");
  test::WriteFile(outside + "/secret.ini", "password=abc");
  ::chmod(AnsiToUtf8(outside + "/secret.ini").c_str(), 0600);
  for (const std::string& folder : {dir.Path(), shell})
    ::chmod(AnsiToUtf8(folder).c_str(), 0755);
  ::chmod(AnsiToUtf8(product).c_str(), 0777);
  const std::vector<std::pair<std::string, std::string>> links = {
      {outside, product + "/bin"},
      {outside, product + "/temp"},
      {outside + "/victim.tmp", product + "/app.dll"},
      {outside + "/secret.ini", product + "/setup.ini"},
  };
  test::HeldInChild planter([&] {
    bool planted = ::setgid(65534) == 0 && ::setuid(65534) == 0;
    for (const auto& [target, at] : links)
      planted = planted && ::symlink(AnsiToUtf8(target).c_str(), AnsiToUtf8(at).c_str()) == 0;
    return planted;
  });
  ASSERT_TRUE(planter.Holding()) << "the links could not be planted";
  machine.Pack(
      "ege", {{"files/product/bin/victim.tmp", "new"},
              {"files/product/app.dll", "new"},
              {"files/product/ok.txt", "new"},
              {"Delete_After.ini", "[Files]\r\n1=temp\\*.tmp\r\n"},
              {"StrReplace_After.ini", "[1]\r\nFiles=*.ini\r\nSearchFor=a\r\nReplaceWith=b\r\n"}});
  Update({"--log", dir / "update.log"});
  EXPECT_EQ(test::ReadFile(outside + "/victim.tmp"), "victim");
  EXPECT_EQ(test::ReadFile(outside + "/secret.ini"), "password=abc");
  EXPECT_EQ(test::TreeSnapshot(outside).size(), 2u);
  EXPECT_EQ(test::ReadFile(product + "/ok.txt"), "new");
  EXPECT_EQ(test::ReadFile(product + "/app.dll"), "new");
  std::string log = test::ReadFile(dir / "update.log");
  for (const std::string& line :
       {"ProcessFile(): \"" + product + "/bin/victim.tmp\" passes through a link, element refused",
        "Delete_After: \"" + product + "/temp\\*.tmp\" passes through a link, refused",
        "StrReplace: Error reading file \"" + product + "/setup.ini\""}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

// The shell-window check against a real X server; an unreachable display
// (as none at all in every run above) has no window open.
TEST(ShellWindowTest, FindsTheShellsClassIgnoringCaseAndNoOther) {
  {
    test::ScopedEnv unreachable("DISPLAY", ":9999");
    EXPECT_FALSE(IsShellWindowOpen());
  }
  test::XDisplay display;
  if (!display.Ok()) GTEST_SKIP() << "Xvfb is not available";
  test::ScopedEnv variable("DISPLAY", display.Name());
  // The instance name is not the class; another class does not count.
  display.OpenWindow("Zarvik:Solvane_2.0", "Other");
  EXPECT_FALSE(IsShellWindowOpen());
  display.OpenWindow("slv", "zarvik:solvane_2.0");
  EXPECT_TRUE(IsShellWindowOpen());
}

// Whether the process catches `signal` yet (its handler installed).
bool Catches(int pid, int signal) {
  std::string status = test::ReadFile("/proc/" + std::to_string(pid) + "/status");
  size_t at = status.find("SigCgt:\t");
  if (at == std::string::npos) return false;
  return (std::stoull(status.substr(at + 8, 16), nullptr, 16) >> (signal - 1)) & 1;
}

// A request at the first moment a program can take one, or after the run's
// last line while the program cleans up and ends, gives the status of that
// moment: 1602 before anything was done, the run's own after it; never the
// signal's own death (129, 130, 143).
TEST_F(SlvUpdateTest, ASignalAtTheStartOrAfterTheLastLineEndsWithTheStatusOfThatMoment) {
  machine.Install("ege");
  test::WriteFile(shell + "/ege/a.txt", "old");
  machine.Pack("ege", {{"files/product/a.txt", "new"}});
  machine.Pack("main");
  const std::vector<std::string> args = {"--quiet", "--package-dir", package};
  int pid = test::StartProgram("slv2update", args, dir / "stdout", dir / "stderr");
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 100000 && !Catches(pid, SIGTERM); ++i)
    ::usleep(100);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(test::WaitProgram(pid), Seen(kExitCancelled));
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "old");

  // The program may end before a request reaches it; a repeated run of the
  // same package is an ordinary run, so it is tried until one lands.
  const std::string last = "Завершение обновления оболочки Zarvik:Solvane...OK";
  int requests = 0;
  for (int attempt = 0; attempt < 20 && requests == 0; ++attempt) {
    test::WriteFile(dir / "stdout", "");
    pid = test::StartProgram("slv2update", args, dir / "stdout", dir / "stderr");
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 100000 && test::ReadFile(dir / "stdout").find(last) == std::string::npos;
         ++i)
      ::usleep(100);
    int status = 0;
    for (; ::waitpid(pid, &status, WNOHANG) == 0; ++requests) {
      ::kill(pid, SIGTERM);
      ::usleep(200);
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), Seen(kExitUpdated));
  }
  EXPECT_GT(requests, 0);
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "new");
}

// The administrator check, for root and for an ordinary account with and
// without an administrators' group.
constexpr uid_t kNobody = 65534;

// The check's answer in a child running as nobody with the given groups
// and primary group; -1 when the identity could not be changed.
int CheckAsNobody(const std::vector<gid_t>& groups, gid_t primary = kNobody) {
  pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(groups.size(), groups.data()) != 0 ||
        ::setresgid(primary, primary, primary) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(2);
    }
    ::_exit(IsUserAdministrator() ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 2) return -1;
  return WEXITSTATUS(status);
}

TEST(AdminRightsTest, RootAndTheAdministratorsGroupsPassOthersDoNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to take other identities";
  EXPECT_TRUE(IsUserAdministrator());
  const group* sudo = ::getgrnam("sudo");
  if (!sudo) GTEST_SKIP() << "no group sudo on this system";
  EXPECT_EQ(CheckAsNobody({sudo->gr_gid}), 1);
  // The primary group counts, also without any supplementary one.
  EXPECT_EQ(CheckAsNobody({}, sudo->gr_gid), 1);
  // An unrelated group grants nothing.
  EXPECT_EQ(CheckAsNobody({sudo->gr_gid + 1000}), 0);
}

}  // namespace
}  // namespace slv2
