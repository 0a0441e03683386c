// Whose a leftover temporary file is: the sweep removes only what an earlier
// run of this program, as this user, can have made.
#pragma once

#include <chrono>
#include <string>

namespace slv2 {

// True when the file is a regular file owned by the running user (on
// Windows, where the folders the program writes to are the administrators',
// every file of the program's temporary name is taken as its own) and last
// written before `before`.
bool MadeByRunningUser(const std::string& file, std::chrono::system_clock::time_point before);

}  // namespace slv2
