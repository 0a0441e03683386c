#include "app/main/ProgramProcess.h"

namespace slv2 {

// The arguments are UTF-8 already, and the terminal is the process's own.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

TProgramProcess::TProgramProcess(bool) {}
TProgramProcess::~TProgramProcess() = default;

}  // namespace slv2
