#include <unistd.h>

#include <cerrno>

#include "StdOut.h"
#include "sys/Cp1251.h"

namespace slv2::pack {

bool WriteStdOut(const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(STDOUT_FILENO, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void SetUpTerminal() {}

std::string FromTerminal(const char* argument) {
  return Utf8ToAnsi(argument);
}
std::string ToTerminal(std::string_view text) {
  return AnsiToUtf8(text);
}

}  // namespace slv2::pack
