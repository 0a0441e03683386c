#include <unistd.h>

#include <cerrno>

#include "log/DebugOutput.h"
#include "sys/Cp1251.h"

namespace slv2 {

void WriteDebugOutput(std::string_view text) {
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") {
    text.remove_suffix(2);
  } else if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
  }
  std::string line = AnsiToUtf8(text) + "\n";
  // One write call per line keeps lines of different threads apart.
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere else to report to
    done += static_cast<size_t>(n);
  }
}

}  // namespace slv2
