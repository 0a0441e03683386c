// The Windows rules for splitting a command line into arguments, as the C
// runtime of the target programs applies them, so that a command written for
// CreateProcess means the same on Linux.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace slv2 {

// The first argument (the program) ends at the first blank or tab outside
// double quotes, and its quotes are only removed. The others are separated by
// blanks and tabs outside quotes; 2n backslashes before a double quote give n
// backslashes and the quote opens or closes a quoted part, 2n+1 give n
// backslashes and a literal quote, backslashes elsewhere stand for
// themselves, and two double quotes inside a quoted part give one literal
// quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace slv2
