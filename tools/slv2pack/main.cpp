// slv2pack: the publisher's tool that makes and inspects update storages.
#include <cstdio>
#include <cstring>
#include <exception>

#include "Command.h"
#include "StdOut.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"

namespace slv2::pack {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void RegisterCommand(const Command& command) {
  Registry().push_back(command);
}
const std::vector<Command>& Commands() {
  return Registry();
}

int UsageError(const char* name) {
  for (const Command& c : Commands()) {
    if (std::strcmp(c.name, name) == 0) {
      std::fprintf(stderr, "slv2pack: usage: slv2pack %s %s\n", c.name, c.usage);
    }
  }
  return 2;
}

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: slv2pack <command> [arguments]\n\ncommands:\n");
  for (const Command& c : Commands())
    std::fprintf(out, "  %s %s\n", c.name, c.usage);
}

}  // namespace
}  // namespace slv2::pack

int main(int argc, char** argv) {
  using namespace slv2::pack;
  SetUpTerminal();
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : Commands()) {
    if (std::strcmp(c.name, argv[1]) != 0) continue;
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i)
      args.push_back(FromTerminal(argv[i]));
    try {
      return c.run(args);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "slv2pack: %s\n", ToTerminal(slv2::ExceptionMessage(e)).c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "slv2pack: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
