// The name of every temporary file the program makes, "~sv<hex>.TMP" (the
// form of the platform's temporary names, with the program's own prefix), so
// that a later run can tell the ones a killed run left behind in the
// folders it writes to from anyone else's files, and remove them.
#pragma once

#include <string_view>

namespace slv2 {

// The prefix to give GetTempFileName (the platform keeps three characters).
inline constexpr std::string_view kTempPrefix = "~sv";

// True for a name (without folder) the program's temporary files carry.
bool IsProgramTempName(std::string_view name);

}  // namespace slv2
