// What the program's process takes from its platform around a session: the
// command-line arguments as UTF-8, and for the terminal modes a terminal the
// output reaches. Windows: the arguments come from the wide command line; the
// program is a windowed one, so the terminal modes attach to the terminal of
// the process that started it (for the streams not redirected) and write
// UTF-8 to it; COM is initialised for the thread while the object lives.
#pragma once

#include <string>
#include <vector>

namespace slv2 {

std::vector<std::string> ProgramArguments(int argc, char** argv);

class TProgramProcess {
 public:
  explicit TProgramProcess(bool terminal);
  ~TProgramProcess();
  TProgramProcess(const TProgramProcess&) = delete;
  TProgramProcess& operator=(const TProgramProcess&) = delete;

 private:
  bool FComInitialized = false;
  unsigned FOutputCodePage = 0;  // of an attached terminal, restored at the end
  unsigned FInputCodePage = 0;
};

}  // namespace slv2
