// The shell-window check against a real X server.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "XDisplaySupport.h"
#include "app/ShellWindow.h"

namespace slv2 {
namespace {

TEST(ShellWindowTest, WithoutADisplayNoWindowIsOpen) {
  test::ScopedEnv none("DISPLAY", "");
  EXPECT_FALSE(IsShellWindowOpen());
  test::ScopedEnv unreachable("DISPLAY", ":9999");
  EXPECT_FALSE(IsShellWindowOpen());
}

TEST(ShellWindowTest, FindsTheShellsClassOnlyWhileItsWindowIsOpen) {
  test::XDisplay display;
  if (!display.Ok()) GTEST_SKIP() << "Xvfb is not available";
  test::ScopedEnv variable("DISPLAY", display.Name());
  EXPECT_FALSE(IsShellWindowOpen());

  // The instance name is not the class; another class does not count.
  uint32_t other = display.OpenWindow("Zarvik:Solvane_2.0", "Other");
  EXPECT_FALSE(IsShellWindowOpen());

  uint32_t shell = display.OpenWindow("slv", "Zarvik:Solvane_2.0");
  EXPECT_TRUE(IsShellWindowOpen());
  display.CloseWindow(shell);
  EXPECT_FALSE(IsShellWindowOpen());

  // Window classes compare ignoring case.
  display.OpenWindow("slv", "zarvik:solvane_2.0");
  EXPECT_TRUE(IsShellWindowOpen());
  display.CloseWindow(other);
}

}  // namespace
}  // namespace slv2
