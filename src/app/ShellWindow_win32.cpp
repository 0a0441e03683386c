#include "app/ShellWindow.h"
#include "sys/WindowsApi.h"

namespace slv2 {

// FindWindowA looks at top-level windows of every title; class names compare
// ignoring case.
bool IsShellWindowOpen() {
  return ::FindWindowA(kShellWindowClass, nullptr) != nullptr;
}

}  // namespace slv2
