// The program's main window, built for each platform (qt/ on Linux): shows
// the window, runs the start-up sequence when it is first shown and the
// message loop until the window closes or the program is terminated, and
// returns the session's exit status.
#pragma once

#include "app/UpdateSession.h"

namespace slv2 {

int RunMainWindow(int& argc, char** argv, TSessionOptions options);

}  // namespace slv2
