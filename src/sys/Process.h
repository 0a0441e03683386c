// Running an external program and waiting for its end.
#pragma once

#include <cstdint>
#include <string_view>

namespace slv2 {

// ShowWindow states; the program starts its helpers hidden.
enum : uint32_t { kSwHide = 0, kSwShowNormal = 1 };

// The exit code of a program that could not be started, or whose end cannot
// be told as an exit code.
inline constexpr uint32_t kExecFailed = 0xFFFFFFFF;

// Starts the command line (program text) with the caller's environment and
// current folder, waits for the program's end without a time-out, and returns
// its exit code, or kExecFailed. On Windows the program is found as
// CreateProcess finds it and shows in `showState`. On Linux the line is split
// with the Windows rules (CommandLine.h); a program named without a folder is
// looked for beside the running executable under its name as given and
// without its ".exe", then along PATH under its name as given only (the
// project's counterparts of Windows programs are installed beside it; a
// Windows program is never replaced by an unrelated one of the same stem),
// ignoring case as Windows does; a program ended by a signal gives
// kExecFailed; there are no windows to show.
uint32_t ExecAndWait(std::string_view commandLine, uint32_t showState);

}  // namespace slv2
