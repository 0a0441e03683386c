// slv2update.exe run as administrators and deployment tools run it on
// Windows: a copy of the program in a package folder beside its storages
// (built with slv2pack), the family registered in the machine's registry,
// product folders on the drive; --quiet checks the protocol, the files, the
// registry and the exit statuses; beside them the checks of the start-up
// that need the real system (the shell's window, the administrator).
#include <gtest/gtest.h>

#include <map>

#include "TestSupport.h"
#include "app/AdminRights.h"
#include "app/ExitStatus.h"
#include "app/ShellWindow.h"
#include "sys/Cp1251.h"
#include "sys/WindowsApi.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

struct Result {
  int status;
  std::string out;  // UTF-8, as written for the terminal
  std::string err;
};

constexpr const char* kFamilyKey = "Software\\Zarvik";

// The family's keys in the real registry of the machine (the program runs
// in a process of its own, which sees no redirection), removed before and
// after the test.
class FamilyKeys {
 public:
  FamilyKeys() { Remove(); }
  ~FamilyKeys() { Remove(); }
  FamilyKeys(const FamilyKeys&) = delete;
  FamilyKeys& operator=(const FamilyKeys&) = delete;

 private:
  static void Remove() {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kFamilyKey);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kFamilyKey);
  }
};

class SlvUpdateTest : public ::testing::Test {
 protected:
  // Runs the program of the build, or the copy in the package folder.
  Result Run(const std::string& program, const std::vector<std::string>& args) {
    int status = test::RunProgram(program, args, dir / "stdout", dir / "stderr");
    return {status, Text(test::ReadFile(dir / "stdout")), Text(test::ReadFile(dir / "stderr"))};
  }

  // The copy beside the storages updates from its own folder.
  Result Update(const std::vector<std::string>& args = {"--quiet"}) {
    return Run(package + "\\slv2update", args);
  }

  void Install(const std::string& id) {
    if (id != "main") RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\" + id, "root", id);
  }

  // Builds <name>.stg in the package folder from files given by their path
  // in the storage.
  void Pack(const std::string& name, const std::map<std::string, std::string>& files) {
    std::string source = dir / ("src-" + name);
    ASSERT_TRUE(::CreateDirectoryA(source.c_str(), nullptr));
    for (const auto& [path, content] : files)
      test::WriteFile(source + "/" + path, content);
    Result built = Run("slv2pack", {"build", source, package + "\\" + name + ".stg"});
    ASSERT_EQ(built.status, 0) << built.err;
  }

  // Text mode ends the lines with CR LF; the tests compare lines.
  static std::string Text(std::string raw) {
    std::string text;
    for (char c : raw) {
      if (c != '\r') text += c;
    }
    return text;
  }

  void SetUp() override {
    ASSERT_TRUE(::CreateDirectoryA(package.c_str(), nullptr));
    std::string program = test::BinDir() + "\\slv2update.exe";
    ASSERT_TRUE(::CopyFileA(program.c_str(), (package + "\\slv2update.exe").c_str(), TRUE));
    RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\main", "root", shell);
    test::InstallCommonGroup(kFamily + "\\main");
  }

  const std::string kFamily = "\\Software\\Zarvik\\Solvane 2.1";
  FamilyKeys keys;
  test::TempDir dir;
  std::string package = dir / "pkg";
  std::string shell = dir / "Solvane";
};

// Windows hands the parent the whole status, not its low 8 bits. (What
// each start-up ends with is the Linux program's table and the session's.)
TEST_F(SlvUpdateTest, CommandLineAnswersWithTheFullExitStatuses) {
  Result wrong = Run("slv2update", {"--quiet", "--silent"});
  EXPECT_EQ(wrong.status, kExitInvalidCommand);
  EXPECT_NE(wrong.err.find("unknown argument --silent"), std::string::npos);
  Result nothing = Update();
  EXPECT_EQ(nothing.status, kExitNothingToUpdate);
  EXPECT_NE(nothing.err.find("[Information]\nУ Вас не установлен ни один продукт"),
            std::string::npos);
}

TEST_F(SlvUpdateTest, EveryProductUpdatedChangesFilesAndRegistryAndEndsWithZero) {
  Install("ege");
  test::WriteFile(shell + "\\ege\\bin\\app.txt", "old");
  test::WriteFile(shell + "\\ege\\obsolete.txt", "gone soon");
  Pack("ege", {{"files/product/bin/app.txt", "new"},
               {"files/solvane/help/ege.txt", "help"},
               {"Delete_After.ini", "[Files]\r\n1=obsolete.txt\r\n"},
               {"registry/ege.reg",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane "
                "2.1\\ege]\r\n\"updated\"=\"yes\"\r\n"}});
  Pack("main", {});
  Result run = Update({"--quiet", "--log", dir / "update.log"});
  EXPECT_EQ(run.status, kExitUpdated) << run.out << run.err;
  std::vector<std::string> lines = test::SplitLines(run.out);
  ASSERT_GE(lines.size(), 3u) << run.out;
  std::vector<std::string> tail(lines.end() - 3, lines.end());
  std::vector<std::string> expected = {"Обновление продукта \"Оболочка Zarvik:Solvane\"...OK",
                                       "Обновление продукта \"Интерактивные тесты по ЕГЭ\"...OK",
                                       "Завершение обновления оболочки Zarvik:Solvane...OK"};
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(test::ReadFile(shell + "\\ege\\bin\\app.txt"), "new");
  EXPECT_EQ(test::ReadFile(shell + "\\help\\ege.txt"), "help");
  EXPECT_FALSE(test::PathExists(shell + "\\ege\\obsolete.txt"));
  EXPECT_EQ(RegReadStringDef(reg::kHkeyLocalMachine, kFamily + "\\ege", "updated", "<missing>"),
            "yes");
  std::string log = test::ReadFile(dir / "update.log");
  EXPECT_NE(log.find("DEBUG - ProcessFile(): Replaced \"" + shell + "\\ege\\bin\\app.txt\""),
            std::string::npos)
      << log;
}

// A top-level window of a class registered for it, never shown: the shell's
// window counts while it exists, visible or not.
class TopLevelWindow {
 public:
  explicit TopLevelWindow(const char* className) : className_(className) {
    WNDCLASSA type{};
    type.lpfnWndProc = ::DefWindowProcA;
    type.hInstance = ::GetModuleHandleA(nullptr);
    type.lpszClassName = className;
    ::RegisterClassA(&type);
    handle_ = ::CreateWindowExA(0, className, "Solvane", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, type.hInstance, nullptr);
  }
  ~TopLevelWindow() {
    if (handle_) ::DestroyWindow(handle_);
    ::UnregisterClassA(className_, ::GetModuleHandleA(nullptr));
  }
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;
  bool Ok() const { return handle_ != nullptr; }

 private:
  const char* className_;
  HWND handle_ = nullptr;
};

// The shell-window check against real top-level windows of the window
// station (under Wine: its null display driver).
TEST(ShellWindowTest, FindsTheShellsClassOnlyWhileItsWindowExists) {
  EXPECT_FALSE(IsShellWindowOpen());
  {
    TopLevelWindow other("Zarvik:Solvane_2.1");
    ASSERT_TRUE(other.Ok()) << "no window can be created here";
    EXPECT_FALSE(IsShellWindowOpen());
    TopLevelWindow shell("Zarvik:Solvane_2.0");
    ASSERT_TRUE(shell.Ok());
    EXPECT_TRUE(IsShellWindowOpen());
  }
  EXPECT_FALSE(IsShellWindowOpen());
  // Window classes compare ignoring case.
  TopLevelWindow lower("zarvik:solvane_2.0");
  ASSERT_TRUE(lower.Ok());
  EXPECT_TRUE(IsShellWindowOpen());
}

// Runs the administrator check while the calling thread impersonates the
// anonymous logon, whose token lists no Administrators group; -1 when that
// is not possible.
int CheckAsAnonymous() {
  if (!::ImpersonateAnonymousToken(::GetCurrentThread())) return -1;
  bool result = IsUserAdministrator();
  ::RevertToSelf();
  return result ? 1 : 0;
}

// The administrator check for the process's token and for a thread that
// impersonates another one.
TEST(AdminRightsTest, TheThreadsTokenComesBeforeTheProcesss) {
  // The tests run elevated on Windows; Wine's user is an administrator.
  EXPECT_TRUE(IsUserAdministrator());
  // A thread token that is a copy of the process's passes as well.
  ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
  EXPECT_TRUE(IsUserAdministrator());
  ::RevertToSelf();

  int anonymous = CheckAsAnonymous();
  if (anonymous < 0) SLV2_SKIP_ON_WINE("no impersonation of the anonymous logon");
  EXPECT_EQ(anonymous, 0);
  EXPECT_TRUE(IsUserAdministrator());
}

}  // namespace
}  // namespace slv2
