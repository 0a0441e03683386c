// Linux twin of the process runner: posix_spawn of the program found.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "sys/CommandLine.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/Process.h"

extern char** environ;

namespace slv2 {
namespace {

bool IsProgram(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(native.c_str(), X_OK) == 0;
}

// The name as given, then without its ".exe" (in any case).
std::vector<std::string> NameForms(const std::string& name) {
  std::vector<std::string> forms{name};
  if (name.size() > 4 && AnsiSameText(std::string_view(name).substr(name.size() - 4), ".exe")) {
    forms.push_back(name.substr(0, name.size() - 4));
  }
  return forms;
}

// The native path of the program, or "" when there is none. Names resolve
// case-insensitively, as on Windows.
std::string FindProgram(const std::string& name) {
  if (name.empty()) return std::string();
  std::vector<std::string> folders;
  if (name.find_first_of("\\/") != std::string::npos) {
    folders.push_back("");
  } else {
    std::string self = fs::GetModuleFileName();
    folders.push_back(self.substr(0, self.find_last_of('/') + 1));
    const char* path = std::getenv("PATH");
    for (std::string_view rest = path ? path : ""; !rest.empty();) {
      size_t colon = rest.find(':');
      std::string folder = fs::FromNativeName(rest.substr(0, colon));
      folders.push_back((folder.empty() ? "." : folder) + "/");
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  // A Windows program name (".exe") stands for the project's own counterpart,
  // installed beside the running executable; along PATH only the name as
  // given counts, so that another Windows layer's wrapper (Wine installs a
  // "regsvr32", for one) is never started in its place.
  for (const std::string& folder : folders) {
    std::vector<std::string> forms = NameForms(name);
    if (&folder != &folders.front()) forms.resize(1);
    for (const std::string& form : forms) {
      std::string native = fs::NativePath(folder + form);
      if (IsProgram(native)) return native;
    }
  }
  return std::string();
}

// Releases the spawn attributes on every path.
struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

uint32_t ExecAndWait(std::string_view commandLine, uint32_t /*showState*/) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) return kExecFailed;
  std::string program = FindProgram(args[0]);
  if (program.empty()) return kExecFailed;

  std::vector<std::string> native;
  for (const std::string& arg : args)
    native.push_back(AnsiToUtf8(arg));
  std::vector<char*> argv;
  for (std::string& arg : native)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Only the standard streams pass to the program, as no handles are
  // inherited on Windows.
  SpawnActions spawn;
  posix_spawn_file_actions_addclosefrom_np(&spawn.actions, 3);
  pid_t pid;
  if (::posix_spawn(&pid, program.c_str(), &spawn.actions, nullptr, argv.data(), environ) != 0) {
    return kExecFailed;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kExecFailed;
  }
  return WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : kExecFailed;
}

}  // namespace slv2
