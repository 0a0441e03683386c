// Opens a folder tree to all users as the shell's updater does after an
// update. Warnings and failures go to standard error; the exit status is 1
// when the walk failed.
//
//   rights_tool FOLDER
#include <cstdio>

#include "products/TreeRights.h"
#include "sys/Cp1251.h"

int main(int argc, char** argv) {
  using namespace slv2;
  if (argc != 2) {
    std::fprintf(stderr, "usage: rights_tool FOLDER\n");
    return 2;
  }
  TreeRightsEvents events;
  events.warning = events.failure = [](const std::string& message) {
    std::fprintf(stderr, "%s\n", AnsiToUtf8(message).c_str());
  };
  return OpenTreeToEveryone(Utf8ToAnsi(argv[1]), security::PlatformSecurityApi(), events) ? 0 : 1;
}
