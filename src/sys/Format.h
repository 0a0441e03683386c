// printf-style formatting into a program string (the runtime's Format). The
// message texts of the system are printf formats; "%X" gives the upper-case
// hexadecimal that error texts print.
#pragma once

#include <cstdarg>
#include <string>

namespace slv2 {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

}  // namespace slv2
