// The system's special folders by CSIDL value (SHGetFolderPathA), created when
// missing. On Linux CSIDL_COMMON_PROGRAMS is the applications menu folder:
// $XDG_DATA_HOME/applications when XDG_DATA_HOME is set, otherwise
// /usr/local/share/applications for root and ~/.local/share/applications for
// other users.
#pragma once

#include <string>

namespace slv2 {

enum : int {
  kCsidlCommonPrograms = 23,
  kCsidlFlagCreate = 0x8000,
};

// The folder as a program string; empty when it cannot be found or created, or
// for a CSIDL this system does not know. Without `create` a missing folder is
// only named, not made (a dry run's look).
std::string GetSpecialFolderPath(int csidl, bool create = true);

}  // namespace slv2
