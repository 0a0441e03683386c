// The terminal of slv2pack: standard output as a byte sink, untouched by any
// text-mode translation, so that `slv2pack cat` passes stream data through
// exactly; and the encoding of arguments and messages (UTF-8 on Linux, the
// ANSI code page, that is program text itself, on Windows).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace slv2::pack {

// Writes everything or returns false.
bool WriteStdOut(const void* data, size_t size);

// Sets the standard streams up: output and error pass "\n" through as it is
// (Windows would otherwise write "\r\n"), so that scripts read the same
// bytes on every platform.
void SetUpTerminal();

// An argument as program text, and program text as the terminal shows it.
std::string FromTerminal(const char* argument);
std::string ToTerminal(std::string_view text);

}  // namespace slv2::pack
