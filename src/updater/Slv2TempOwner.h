// Whose a leftover temporary file is: the sweep removes only what an earlier
// run of this program, as this user, can have made.
#pragma once

#include <chrono>
#include <string>

namespace slv2 {

// True when the file is a regular file owned by the running user (on
// Windows also by the owner its token gives new files: the Administrators
// group for an elevated administrator) and last written before `before`.
bool MadeByRunningUser(const std::string& file, std::chrono::system_clock::time_point before);

}  // namespace slv2
