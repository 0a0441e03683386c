// The program's exit statuses: the codes that deployment engines already
// understand from installers. A contract with administrators' scripts. On
// Linux a process hands on only the low 8 bits of its status, so there they
// read 0, 67, 66, 82, 103, 106 and 133; the values stay distinct. Both reasons
// to retry later share 1618, the installers' "another installation is already
// in progress" (82 on Linux).
#pragma once

namespace slv2 {

inline constexpr int kExitUpdated = 0;              // every product updated
inline constexpr int kExitFailed = 1603;            // a product failed, or the program did
inline constexpr int kExitCancelled = 1602;         // the user cancelled (running-shell box)
inline constexpr int kExitShellRunning = 1618;      // the shell runs, unattended: retry later
inline constexpr int kExitAlreadyRunning = 1618;    // another update runs here: retry later
inline constexpr int kExitInvalidCommand = 1639;    // the command line is not understood
inline constexpr int kExitNothingToUpdate = 1642;   // no installed product has a storage here
inline constexpr int kExitNotAdministrator = 1925;  // the user lacks administrative rights

}  // namespace slv2
