// slv2update run as administrators and deployment tools run it: --quiet and
// --console against temporary machines (a registry through SLV2_REGISTRY,
// product folders, storages built with slv2pack), checking the protocol,
// what changed on disk and every exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>

#include "TestSupport.h"
#include "UpdaterTestSupport.h"
#include "XDisplaySupport.h"
#include "app/ExitStatus.h"
#include "app/RunLock.h"
#include "sys/Cp1251.h"
#include "sys/TempNames.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

using test::A;

struct Result {
  int status;       // as the shell sees it: the low 8 bits on Linux
  std::string out;  // UTF-8, as on the terminal
  std::string err;
};

// The low 8 bits of an exit status, all that a Linux parent receives.
int Seen(int status) {
  return status & 0xFF;
}

std::string Quoted(const std::string& utf8) {
  std::string q = "'";
  for (char c : utf8)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class SlvUpdateTest : public ::testing::Test {
 protected:
  // Runs a program of the build folder; `prefix` goes before it (setpriv).
  Result Run(const std::string& program, const std::vector<std::string>& args,
             const std::string& input = "", const std::string& prefix = "") {
    test::WriteFile(dir / "stdin", input);
    std::string command = prefix + Quoted(test::BinDir() + "/" + program);
    for (const std::string& a : args)
      command += " " + Quoted(AnsiToUtf8(a));
    command += " <" + Quoted(dir / "stdin") + " >" + Quoted(dir / "stdout") + " 2>" +
               Quoted(dir / "stderr");
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::ReadFile(dir / "stdout"),
            test::ReadFile(dir / "stderr")};
  }

  Result Update(const std::vector<std::string>& extra = {"--quiet"}, const std::string& input = "",
                const std::string& prefix = "") {
    std::vector<std::string> args = extra;
    args.push_back("--package-dir");
    args.push_back(package);
    return Run("slv2update", args, input, prefix);
  }

  // Starts slv2update --console in the background, its input coming from the
  // returned pipe and its output going to files named by `tag`.
  pid_t StartConsoleUpdate(const std::string& tag, int& input) {
    int fds[2];
    EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    std::string command = "exec " + Quoted(test::BinDir() + "/slv2update") + " --console" +
                          " --package-dir " + Quoted(AnsiToUtf8(package)) + " >" +
                          Quoted(dir / (tag + ".out")) + " 2>" + Quoted(dir / (tag + ".err"));
    pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(fds[0], 0);
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[0]);
    input = fds[1];
    return pid;
  }

  // Registers a product under the machine-wide family key, with its folder
  // below the shell's (the shell's own key is there from the start).
  void Install(const std::string& id) {
    if (id != "main") RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\" + id, "root", id);
  }

  // Builds <name>.stg in the package folder from files given by their path
  // in the storage; an empty content with a trailing "/" makes a folder.
  void Pack(const std::string& name, const std::map<std::string, std::string>& files) {
    std::string source = dir / ("src-" + name);
    std::filesystem::remove_all(AnsiToUtf8(source));
    std::filesystem::create_directories(AnsiToUtf8(source));
    for (const auto& [path, content] : files) {
      if (path.back() == '/') {
        std::filesystem::create_directories(AnsiToUtf8(source + "/" + path));
      } else {
        test::WriteFile(source + "/" + path, content);
      }
    }
    Result built = Run("slv2pack", {"build", source, package + "/" + name + ".stg"});
    ASSERT_EQ(built.status, 0) << built.err;
  }

  void SetUp() override {
    std::filesystem::create_directories(AnsiToUtf8(package));
    RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\main", "root", shell);
    test::InstallCommonGroup(kFamily + "\\main");
  }

  const std::string kFamily = "\\Software\\Zarvik\\Solvane 2.1";
  test::TempRegistry registry;
  test::TempDir dir;
  // The common program group lies in the test's folder.
  test::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "share"};
  std::string package = dir / "pkg";
  std::string shell = dir / "Solvane";
  test::DisplayVariable noDisplay{""};
};

// --- The command line -----------------------------------------------------------

TEST_F(SlvUpdateTest, HelpVersionAndWrongArguments) {
  Result help = Run("slv2update", {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--package-dir DIR"), std::string::npos);
  Result version = Run("slv2update", {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("slv2update 2.1", 0), 0u);

  Result wrong = Run("slv2update", {"--quiet", "--silent"});
  EXPECT_EQ(wrong.status, Seen(kExitInvalidCommand));
  EXPECT_NE(wrong.err.find("unknown argument --silent"), std::string::npos);
  Result missing = Run("slv2update", {"--quiet", "--package-dir", dir / "none"});
  EXPECT_EQ(missing.status, Seen(kExitInvalidCommand));
  // The window needs a display; without one the program says so.
  Result window = Run("slv2update", {"--package-dir", package});
  EXPECT_EQ(window.status, Seen(kExitFailed));
  EXPECT_NE(window.err.find("use --console or --quiet"), std::string::npos);
}

// A detailed log asked for that cannot be written is said at once, before
// anything is done, and not line by line during a run nobody would trace.
TEST_F(SlvUpdateTest, ALogThatCannotBeWrittenEndsTheStartUp) {
  Install("ege");
  test::WriteFile(shell + "/ege/a.txt", "old");
  Pack("ege", {{"files/product/a.txt", "new"}});
  const std::pair<std::string, std::string> logs[] = {
      {"/dev/full", "cannot write the log /dev/full: There is not enough space on the disk"},
      {dir.Path(), "cannot open the log " + dir.Path() + ": Access is denied"},
      {dir / "missing/u.log", "cannot open the log " + dir / "missing/u.log"},
  };
  for (const auto& [log, error] : logs) {
    SCOPED_TRACE(log);
    Result run = Update({"--quiet", "--log", log});
    EXPECT_EQ(run.status, Seen(kExitFailed));
    EXPECT_EQ(run.err.rfind("slv2update: " + error, 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "old");
}

// --- Registration ---------------------------------------------------------------

TEST_F(SlvUpdateTest, OnlyInstalledProductsWithAStorageAreRegisteredInOrder) {
  Install("punctuation");
  Install("main");  // installed, but the package has no main.stg
  Pack("punc_data", {});
  Pack("punctuation", {});
  Pack("ege", {});  // a storage without the product installed
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  std::vector<std::string> expected = {"",
                                       "Установленные продукты, подлежащие обновлению:",
                                       "  Тесты по пунктуации",
                                       "  Тесты по пунктуации (БД)",
                                       "",
                                       "Обновление продукта \"Тесты по пунктуации\"...OK",
                                       "Обновление продукта \"Тесты по пунктуации (БД)\"...OK"};
  EXPECT_EQ(test::SplitLines(run.out), expected);
  EXPECT_NE(run.err.find("[Information]\nПроцедура обновления завершена."), std::string::npos);
}

TEST_F(SlvUpdateTest, APerUserInstallationOfVersion2IsFoundToo) {
  test::TempRegistry perUser;  // no machine-wide key at all
  const std::string family = "\\Software\\Zarvik\\Solvane";
  RegWriteString(reg::kHkeyCurrentUser, family + "\\main", "root", shell);
  RegWriteString(reg::kHkeyCurrentUser, family + "\\mathematics1", "root", "math");
  Pack("mathematics1", {{"files/product/new.txt", "new"}});
  Pack("math1_data", {});
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  EXPECT_NE(run.out.find("  Математика (часть 1)\n  Математика (часть I) (БД)\n"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(shell + "/math/new.txt"), "new");
}

// --- The run and its outcomes ---------------------------------------------------

TEST_F(SlvUpdateTest, EveryProductUpdatedChangesTheFilesAndEndsWithZero) {
  Install("main");
  Install("ege");
  test::WriteFile(shell + "/ege/bin/app.txt", "old");
  test::WriteFile(shell + "/ege/obsolete.txt", "gone soon");
  Pack("ege", {{"files/product/bin/app.txt", "new"},
               {"files/solvane/help/ege.txt", "help"},
               {"Delete_After.ini", "[Files]\r\n1=obsolete.txt\r\n"}});
  Pack("main", {});
  Result run = Update({"--quiet", "--log", dir / "update.log"});
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  std::vector<std::string> lines = test::SplitLines(run.out);
  std::vector<std::string> tail(lines.end() - 3, lines.end());
  std::vector<std::string> expected = {"Обновление продукта \"Оболочка Zarvik:Solvane\"...OK",
                                       "Обновление продукта \"Интерактивные тесты по ЕГЭ\"...OK",
                                       "Завершение обновления оболочки Zarvik:Solvane...OK"};
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(test::ReadFile(shell + "/ege/bin/app.txt"), "new");
  EXPECT_EQ(test::ReadFile(shell + "/help/ege.txt"), "help");
  EXPECT_FALSE(test::PathExists(shell + "/ege/obsolete.txt"));
  // The detailed log, asked for, holds the updaters' own lines.
  std::string log = test::ReadFile(dir / "update.log");
  EXPECT_NE(log.find("DEBUG - ProcessFile(): Replaced \"" + shell + "/ege/bin/app.txt\""),
            std::string::npos)
      << log;
}

// A pupil (here: nobody) plants links in a product folder that all users
// may write: the update follows none of them, says so in its log, and still
// updates everything else.
TEST_F(SlvUpdateTest, LinksPlantedByAUserLeadNowhere) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant as another user";
  Install("main");
  Install("ege");
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
  pid_t child = ::fork();
  if (child == 0) {
    bool planted = ::setgid(65534) == 0 && ::setuid(65534) == 0;
    for (const auto& [target, at] : links)
      planted = planted && ::symlink(AnsiToUtf8(target).c_str(), AnsiToUtf8(at).c_str()) == 0;
    ::_exit(planted ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(status, 0) << "the links could not be planted";
  Pack("ege", {{"files/product/bin/victim.tmp", "new"},
               {"files/product/app.dll", "new"},
               {"files/product/ok.txt", "new"},
               {"Delete_After.ini", "[Files]\r\n1=temp\\*.tmp\r\n"},
               {"StrReplace_After.ini", "[1]\r\nFiles=*.ini\r\nSearchFor=a\r\nReplaceWith=b\r\n"}});
  Pack("main", {});
  Update({"--quiet", "--log", dir / "update.log"});
  EXPECT_EQ(test::ReadFile(outside + "/victim.tmp"), "victim");
  EXPECT_EQ(test::ReadFile(outside + "/secret.ini"), "password=abc");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(AnsiToUtf8(outside)),
                          std::filesystem::directory_iterator()),
            2);
  EXPECT_EQ(test::ReadFile(product + "/ok.txt"), "new");
  EXPECT_FALSE(std::filesystem::is_symlink(AnsiToUtf8(product + "/app.dll")));
  EXPECT_EQ(test::ReadFile(product + "/app.dll"), "new");
  std::string log = test::ReadFile(dir / "update.log");
  for (const std::string& line :
       {"ProcessFile(): \"" + product + "/bin/victim.tmp\" passes through a link, element refused",
        "Delete_After: \"" + product + "/temp\\*.tmp\" passes through a link, refused",
        "StrReplace: Error reading file \"" + product + "/setup.ini\""}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

TEST_F(SlvUpdateTest, AFailingProductShowsItsErrorWhileTheOthersAreUpdated) {
  Install("ege");
  Install("px2002");
  Pack("px2002", {{"files/product/b.txt", "b"}});
  // A nested storage whose one stream ends long before its stated size.
  test::StorageWriter(shell + "/ege/media.stg")
      .Add("img.svg", test::CompressedElement(std::string(4000, 'x')).substr(0, 24));
  struct Row {
    const char* what;
    std::map<std::string, std::string> ege;  // the product's update storage
    std::string error;                       // how the product's line ends
  };
  for (const Row& row : {
           // An ini element that is not a stream cannot be read.
           Row{"unreadable ini",
               {{"Delete_Before.ini/", ""}, {"files/product/a.txt", "a"}},
               "EgmStorage ("},
           // A nested storage that opens but does not unpack.
           Row{"nested storage",
               {{"UnpackStorage.ini", "[media]\r\nStorage=media.stg\r\nDestination=media\r\n"},
                {"files/product/a.txt", "a"}},
               "ESlvUpdater (Error unpacking storage \""},
       }) {
    SCOPED_TRACE(row.what);
    Pack("ege", row.ege);
    Result run = Update();
    EXPECT_EQ(run.status, Seen(kExitFailed));
    std::vector<std::string> lines = test::SplitLines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(
                  "Обновление продукта \"Интерактивные тесты по ЕГЭ\"...ОШИБКА: " + row.error, 0),
              0u)
        << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), "Обновление продукта \"Zarvik:Probix\"...OK");
    // The run of the product ended there: no file of it was processed.
    EXPECT_FALSE(test::PathExists(shell + "/ege/a.txt"));
    EXPECT_TRUE(test::PathExists(shell + "/ege/media.stg"));
    EXPECT_EQ(test::ReadFile(shell + "/px2002/b.txt"), "b");
  }
}

TEST_F(SlvUpdateTest, ADamagedStorageLeavesItsProductOutAndFailsTheRun) {
  Install("ege");
  Install("px2002");
  test::WriteFile(package + "/ege.stg", "not a compound file");
  Pack("px2002", {{"files/product/b.txt", "b"}});
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitFailed));
  EXPECT_EQ(run.out.rfind("Продукт \"Интерактивные тесты по ЕГЭ\" не будет обновлён. ОШИБКА: ", 0),
            0u)
      << run.out;
  EXPECT_NE(run.out.find("Обновление продукта \"Zarvik:Probix\"...OK"), std::string::npos);
  EXPECT_EQ(test::ReadFile(shell + "/px2002/b.txt"), "b");
}

TEST_F(SlvUpdateTest, NothingToUpdate) {
  Install("ege");
  Pack("px2002", {});
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitNothingToUpdate));
  EXPECT_NE(run.err.find("[Information]\nУ Вас не установлен ни один продукт"), std::string::npos);
}

TEST_F(SlvUpdateTest, ANonAdministratorIsTurnedAway) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  // The other user must reach the package folder.
  std::filesystem::permissions(AnsiToUtf8(dir.Path()), std::filesystem::perms::all);
  Install("ege");
  Pack("ege", {});
  Result run = Update({"--quiet"}, "", "setpriv --reuid=65534 --regid=65534 --clear-groups ");
  EXPECT_EQ(run.status, Seen(kExitNotAdministrator)) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("[Warning]\nДля выполнения программы обновления"), std::string::npos);
}

TEST_F(SlvUpdateTest, ARunningShellCancelsOrAsksForALaterRetry) {
  test::XDisplay display;
  if (!display.Ok()) GTEST_SKIP() << "Xvfb is not available";
  test::DisplayVariable variable(display.Name());
  display.OpenWindow("solvane", "Zarvik:Solvane_2.0");
  Install("ege");
  Pack("ege", {{"files/product/a.txt", "a"}});

  // Unattended: engines retry this status later.
  Result quiet = Update({"--quiet"});
  EXPECT_EQ(quiet.status, Seen(kExitShellRunning));
  EXPECT_NE(quiet.err.find("[Warning]\nВ настоящий момент программа \"Zarvik:Solvane 2.х\""),
            std::string::npos);
  // At the terminal: OK asks again while the shell runs, Cancel ends.
  Result console = Update({"--console"}, "ok\ncancel\n");
  EXPECT_EQ(console.status, Seen(kExitCancelled));
  size_t first = console.err.find("OK or Cancel?");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(console.err.find("OK or Cancel?", first + 1), std::string::npos);
  EXPECT_FALSE(test::PathExists(shell + "/ege/a.txt"));
}

TEST_F(SlvUpdateTest, ARegistryHeldByAnotherProcessEndsTheRunWithinSecondsChangingNothing) {
  Install("ege");
  test::WriteFile(shell + "/ege/a.txt", "old");
  Pack("ege", {{"files/product/a.txt", "new"}});
  {
    test::DatabaseWriter writer(registry.DatabasePath());
    ASSERT_TRUE(writer.Holding());
    auto start = std::chrono::steady_clock::now();
    Result run = Update();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(run.status, Seen(kExitFailed));
    EXPECT_NE(run.err.find("the registry database \"" + registry.DatabasePath() + "\" is busy"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "old");
  }
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "new");
}

// SIGTERM, SIGINT and SIGHUP end a run at its next safe point: the product in
// progress is finished or rolled back, the next ones do not start, nothing
// temporary stays, the lock is let go and the status is 1602.
TEST_F(SlvUpdateTest, ASignalEndsTheRunAtASafePointAsCancelled) {
  Install("main");
  Install("ege");
  test::WriteFile(shell + "/bin/SlvAPP.dll", "MZ");
  test::WriteFile(shell + "/ege/a.txt", "old");
  Pack("main", {{"files/solvane/bin/new.dll", "new"}});
  Pack("ege", {{"files/product/a.txt", "new"}});
  // The shell's COM server registration takes a while: the signal comes then.
  test::WriteFile(dir / "path/regsvr32.exe",
                  "#!/bin/sh\ntouch '" + dir / "registering" + "'\nsleep 1\n");
  std::filesystem::permissions(test::FsPath(dir / "path/regsvr32.exe"),
                               std::filesystem::perms::owner_all);
  test::ScopedEnv path("PATH", dir / "path:" + Utf8ToAnsi(std::getenv("PATH")));
  const std::pair<int, const char*> signals[] = {
      {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const auto& [signal, name] : signals) {
    SCOPED_TRACE(name);
    std::filesystem::remove(test::FsPath(dir / "registering"));
    int pid = test::StartProgram("slv2update", {"--quiet", "--package-dir", package},
                                 dir / "stdout", dir / "stderr");
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 1000 && !test::PathExists(dir / "registering"); ++i)
      ::usleep(10000);
    ASSERT_EQ(::kill(pid, signal), 0);
    EXPECT_EQ(test::WaitProgram(pid), Seen(kExitCancelled));
    std::vector<std::string> lines = test::SplitLines(test::ReadFile(dir / "stdout"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "Обновление продукта \"Оболочка Zarvik:Solvane\"...ПРЕРВАНО");
    EXPECT_EQ(lines.back(), std::string("Обновление прервано (") + name +
                                "): следующие продукты не обновлялись.");
    EXPECT_EQ(test::ReadFile(shell + "/bin/new.dll"), "new");  // finished before
    EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "old");    // never started
    for (const auto& entry : std::filesystem::recursive_directory_iterator(test::FsPath(shell)))
      EXPECT_FALSE(IsProgramTempName(entry.path().filename().string())) << entry.path();
  }
  // The lock went with it.
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "new");
}

// --- One update per machine ----------------------------------------------------

// Another process holding the run lock until it is let go or killed.
class LockHolder {
 public:
  LockHolder() {
    int ready[2], release[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      char held = '0';
      try {
        std::unique_ptr<TRunLock> lock = TRunLock::TryAcquire();
        if (lock) held = '1';
        (void)!::write(ready[1], &held, 1);
        (void)!::read(release[0], &held, 1);  // until the end of the pipe
      } catch (...) {
        (void)!::write(ready[1], &held, 1);
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char held = '0';
    held_ = ::read(ready[0], &held, 1) == 1 && held == '1';
    ::close(ready[0]);
    release_ = release[1];
  }
  ~LockHolder() { Release(); }
  bool Held() const { return held_; }
  void Release() {
    if (release_ >= 0) ::close(release_);
    release_ = -1;
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  void Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    Release();
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool held_ = false;
};

const char* const kAlreadyRunning =
    "[Warning]\nОбновление уже выполняется на этом компьютере. Дождитесь его завершения.\n";

TEST_F(SlvUpdateTest, WhileAnotherRunHoldsTheLockNothingChanges) {
  Install("ege");
  test::WriteFile(shell + "/ege/a.txt", "old");
  Pack("ege", {{"files/product/a.txt", "new"},
               {"registry/1.reg",
                "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\ege]\n"
                "\"version\"=\"2\"\n"}});
  auto version = [&] {
    return RegReadStringDef(reg::kHkeyLocalMachine, kFamily + "\\ege", "version", "none");
  };
  {
    LockHolder holder;
    ASSERT_TRUE(holder.Held());
    Result quiet = Update({"--quiet"});
    EXPECT_EQ(quiet.status, Seen(kExitAlreadyRunning));
    EXPECT_EQ(Seen(kExitAlreadyRunning), 82);
    EXPECT_NE(quiet.err.find(kAlreadyRunning), std::string::npos) << quiet.err;
    // Turned away before the products are even listed.
    EXPECT_EQ(quiet.out, "");
    Result console = Update({"--console"});
    EXPECT_EQ(console.status, Seen(kExitAlreadyRunning));
    EXPECT_NE(console.err.find(kAlreadyRunning), std::string::npos) << console.err;
    EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "old");
    EXPECT_EQ(version(), "none");
  }
  // The holder has ended: the next run goes ahead, and the lock file stays.
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "new");
  EXPECT_EQ(version(), "2");
  EXPECT_TRUE(std::filesystem::exists(RunLockFilePath()));
}

TEST_F(SlvUpdateTest, AKilledHolderDoesNotBlockTheNextRun) {
  Install("ege");
  Pack("ege", {{"files/product/a.txt", "new"}});
  LockHolder holder;
  ASSERT_TRUE(holder.Held());
  holder.Kill();
  Result run = Update();
  EXPECT_EQ(run.status, Seen(kExitUpdated)) << run.err;
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "new");
}

TEST_F(SlvUpdateTest, ASecondStartWhileTheFirstRunsIsTurnedAway) {
  test::XDisplay display;
  if (!display.Ok()) GTEST_SKIP() << "Xvfb is not available";
  test::DisplayVariable variable(display.Name());
  // The first start waits at the running-shell box, its lock taken.
  uint32_t window = display.OpenWindow("solvane", "Zarvik:Solvane_2.0");
  Install("ege");
  Pack("ege", {{"files/product/a.txt", "a"}});
  int input = -1;
  pid_t first = StartConsoleUpdate("first", input);
  ASSERT_GT(first, 0);
  // Until the first asks, the second might come before it.
  auto asked = [&] {
    return test::PathExists(dir / "first.err") &&
           test::ReadFile(dir / "first.err").find("OK or Cancel?") != std::string::npos;
  };
  for (int i = 0; i < 500 && !asked(); ++i)
    ::usleep(20000);
  ASSERT_TRUE(asked());

  Result second = Update({"--quiet"});
  EXPECT_EQ(second.status, Seen(kExitAlreadyRunning));
  EXPECT_NE(second.err.find(kAlreadyRunning), std::string::npos) << second.err;
  EXPECT_FALSE(test::PathExists(shell + "/ege/a.txt"));

  // The shell closes; the first goes on and updates.
  display.CloseWindow(window);
  ASSERT_EQ(::write(input, "ok\n", 3), 3);
  ::close(input);
  int raw = 0;
  ASSERT_EQ(::waitpid(first, &raw, 0), first);
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), Seen(kExitUpdated)) << test::ReadFile(dir / "first.err");
  EXPECT_EQ(test::ReadFile(shell + "/ege/a.txt"), "a");
}

}  // namespace
}  // namespace slv2
