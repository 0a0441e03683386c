// The command line of slv2update, a contract with administrators' scripts
// and deployment tools:
//   (none)             the main window
//   --console          the same checks and run in the terminal
//   --quiet            --console without prompts
//   --package-dir DIR  where the update storages are (default: beside the program)
//   --log FILE         the updaters' detailed log, for diagnosis
//   --dry-run          every decision, no change (implies --console)
//   --report FILE      the run's JSON report, written at its end
//   --help, --version
#pragma once

#include <string>
#include <vector>

namespace slv2 {

enum class TRunMode { Window, Console, Quiet, Help, Version };

struct TProgramOptions {
  TRunMode mode = TRunMode::Window;
  std::string packageDir;  // UTF-8 as given; empty: the program's folder
  std::string logFile;     // UTF-8 as given; empty: no log
  std::string reportFile;  // UTF-8 as given; empty: no report
  bool dryRun = false;
};

// Parses the arguments after the program name. False with `error` set for
// an unknown switch, a missing value or a repeated one.
bool ParseProgramOptions(const std::vector<std::string>& args, TProgramOptions& options,
                         std::string& error);

// The text of --help.
std::string ProgramUsage();

}  // namespace slv2
