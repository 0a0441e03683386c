// Whether the family's shell program is running: a top-level window of the
// class "Zarvik:Solvane_2.0" is open (any title). Linux: an X11 window on the
// display of $DISPLAY whose WM_CLASS names that class, among the root
// window's children and the window manager's client list; without a display
// there is no such window.
#pragma once

namespace slv2 {

inline constexpr const char* kShellWindowClass = "Zarvik:Solvane_2.0";

bool IsShellWindowOpen();

}  // namespace slv2
