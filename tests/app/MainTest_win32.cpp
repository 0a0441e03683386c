// What the Windows layer itself does: one whole run of slv2update.exe
// --quiet against the machine's registry and a drive, the shell's window
// among the real top-level windows, the administrator's token. (Every exit
// status is the Linux program's table.)
#include <gtest/gtest.h>

#include <algorithm>

#include "UpdaterTestSupport.h"
#include "app/AdminRights.h"
#include "app/ExitStatus.h"
#include "app/ShellWindow.h"
#include "sys/WindowsApi.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

// The family's keys in the real registry of the machine (the program runs
// in a process of its own, which sees no redirection), removed before and
// after the test.
struct FamilyKeys {
  FamilyKeys() { Remove(); }
  ~FamilyKeys() { Remove(); }
  static void Remove() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
      ::RegDeleteTreeA(root, "Software\\Zarvik");
  }
};

TEST(SlvUpdateTest, EveryProductUpdatedChangesFilesAndRegistryAndEndsWithZero) {
  FamilyKeys keys;
  test::TempDir dir;
  const std::string package = dir / "pkg", shell = dir / "Solvane";
  const std::string family = "\\Software\\Zarvik\\Solvane 2.1";
  // A copy of the program beside the storages updates from its own folder.
  ASSERT_TRUE(::CreateDirectoryA(package.c_str(), nullptr));
  ASSERT_TRUE(::CopyFileA((test::BinDir() + "\\slv2update.exe").c_str(),
                          (package + "\\slv2update.exe").c_str(), TRUE));
  RegWriteString(reg::kHkeyLocalMachine, family + "\\main", "root", shell);
  RegWriteString(reg::kHkeyLocalMachine, family + "\\ege", "root", "ege");
  test::InstallCommonGroup(family + "\\main");
  test::WriteFile(shell + "\\ege\\bin\\app.txt", "old");
  test::WriteFile(shell + "\\ege\\obsolete.txt", "gone soon");
  test::StorageWriter(package + "\\ege.stg")
      .Add("files/product/bin/app.txt", "new")
      .Add("files/solvane/help/ege.txt", "help")
      .Add("Delete_After.ini", "[Files]\r\n1=obsolete.txt\r\n")
      .Add("registry/ege.reg",
           "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane "
           "2.1\\ege]\r\n\"updated\"=\"yes\"\r\n");
  test::StorageWriter(package + "\\main.stg");
  int status = test::RunProgram(package + "\\slv2update", {"--quiet", "--log", dir / "update.log"},
                                dir / "stdout", dir / "stderr");
  std::string out = test::ReadFile(dir / "stdout");
  EXPECT_EQ(status, kExitUpdated) << out << test::ReadFile(dir / "stderr");
  // Text mode ends the lines with CR LF.
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  std::vector<std::string> lines = test::SplitLines(out);
  ASSERT_GE(lines.size(), 3u) << out;
  std::vector<std::string> expected = {"Обновление продукта \"Оболочка Zarvik:Solvane\"...OK",
                                       "Обновление продукта \"Интерактивные тесты по ЕГЭ\"...OK",
                                       "Завершение обновления оболочки Zarvik:Solvane...OK"};
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), expected);
  EXPECT_EQ(test::ReadFile(shell + "\\ege\\bin\\app.txt"), "new");
  EXPECT_EQ(test::ReadFile(shell + "\\help\\ege.txt"), "help");
  EXPECT_FALSE(test::PathExists(shell + "\\ege\\obsolete.txt"));
  EXPECT_EQ(RegReadStringDef(reg::kHkeyLocalMachine, family + "\\ege", "updated", "<missing>"),
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
TEST(ShellWindowTest, FindsTheShellsClassIgnoringCaseAndNoOther) {
  TopLevelWindow other("Zarvik:Solvane_2.1");
  ASSERT_TRUE(other.Ok()) << "no window can be created here";
  EXPECT_FALSE(IsShellWindowOpen());
  TopLevelWindow lower("zarvik:solvane_2.0");
  ASSERT_TRUE(lower.Ok());
  EXPECT_TRUE(IsShellWindowOpen());
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
  // The anonymous logon's token lists no Administrators group.
  if (!::ImpersonateAnonymousToken(::GetCurrentThread()))
    SLV2_SKIP_ON_WINE("no impersonation of the anonymous logon");
  EXPECT_FALSE(IsUserAdministrator());
  ::RevertToSelf();
}

}  // namespace
}  // namespace slv2
