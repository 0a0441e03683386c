// Windows twin of the debugger output: OutputDebugStringA, which takes the
// "\r\n" line ends as they are.
#include <string>

#include "log/DebugOutput.h"
#include "sys/WindowsApi.h"

namespace slv2 {

void WriteDebugOutput(std::string_view text) {
  ::OutputDebugStringA(std::string(text).c_str());
}

}  // namespace slv2
