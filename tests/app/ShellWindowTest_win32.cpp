// The shell-window check against real top-level windows of the window
// station (under Wine: its null display driver).
#include <gtest/gtest.h>

#include "app/ShellWindow.h"
#include "sys/WindowsApi.h"

namespace slv2 {
namespace {

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

}  // namespace
}  // namespace slv2
