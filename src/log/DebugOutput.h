// The platform's debugger output, where the logging component reports its
// own problems: OutputDebugStringA on Windows; standard error on Linux, which
// has no debugger output. One call writes one line, whole, also when several
// threads write at once.
#pragma once

#include <string_view>

namespace slv2 {

// `text` is program text ending in "\r\n"; the line break becomes the
// platform's own.
void WriteDebugOutput(std::string_view text);

}  // namespace slv2
