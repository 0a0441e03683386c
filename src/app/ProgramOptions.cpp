#include "app/ProgramOptions.h"

namespace slv2 {

namespace {

bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string& value,
               std::string& error) {
  const std::string& name = args[i];
  if (!value.empty()) {
    error = name + " is given twice";
    return false;
  }
  if (i + 1 >= args.size() || args[i + 1].empty()) {
    error = name + " needs a value";
    return false;
  }
  value = args[++i];
  return true;
}

}  // namespace

bool ParseProgramOptions(const std::vector<std::string>& args, TProgramOptions& options,
                         std::string& error) {
  options = TProgramOptions();
  bool help = false, version = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--console") {
      // --quiet already implies the console.
      if (options.mode == TRunMode::Window) options.mode = TRunMode::Console;
    } else if (arg == "--quiet") {
      options.mode = TRunMode::Quiet;
    } else if (arg == "--package-dir") {
      if (!TakeValue(args, i, options.packageDir, error)) return false;
    } else if (arg == "--log") {
      if (!TakeValue(args, i, options.logFile, error)) return false;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else {
      error = "unknown argument " + arg;
      return false;
    }
  }
  if (help)
    options.mode = TRunMode::Help;
  else if (version)
    options.mode = TRunMode::Version;
  return true;
}

std::string ProgramUsage() {
  return "usage: slv2update [--console | --quiet] [--package-dir DIR] [--log FILE]\n"
         "       slv2update --help | --version\n"
         "\n"
         "Brings the installed Zarvik:Solvane 2.x products up to date from the update\n"
         "storages (*.stg) in the package folder. Without --console or --quiet the\n"
         "program opens its window.\n"
         "\n"
         "  --console          run the checks and the update in the terminal; message\n"
         "                     boxes ask OK or Cancel there\n"
         "  --quiet            as --console, without questions: information boxes are\n"
         "                     confirmed, a running shell ends the program\n"
         "  --package-dir DIR  the folder of the update storages (default: the folder\n"
         "                     of this program)\n"
         "  --log FILE         append the updaters' detailed log to FILE\n"
         "\n"
         "Exit status: 0 every product updated; 1603 a product's update failed (an\n"
         "error in its detailed log) or the program failed; 1602 cancelled (also by\n"
         "SIGTERM, SIGINT or SIGHUP); 1618 retry later: the shell is running\n"
         "(--quiet) or another update runs on this machine; 1639 invalid command line;\n"
         "1642 nothing to update; 1925 not an administrator. Linux keeps the low 8 bits\n"
         "of a status: 67, 66, 82, 103, 106 and 133 there.\n";
}

}  // namespace slv2
