// slv2pack: the publisher's tool that makes and inspects update storages.
#include <cstdio>
#include <cstring>
#include <exception>

#include "Command.h"
#include "CommandHelp.h"
#include "Interrupt.h"
#include "StdOut.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"

#ifndef SLV2_VERSION
#define SLV2_VERSION "unknown"
#endif

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
  std::fprintf(out,
               "usage: slv2pack <command> [arguments]\n"
               "       slv2pack help COMMAND | --version\n\ncommands:\n");
  for (const Command& c : Commands())
    std::fprintf(out, "  %s %s\n", c.name, c.usage);
}

int PrintHelp(const char* name) {
  const char* help = name ? CommandHelp(name) : nullptr;
  if (!help) {
    if (name) std::fprintf(stderr, "slv2pack: unknown command '%s'\n", name);
    std::fprintf(stderr, "usage: slv2pack help COMMAND\n");
    PrintUsage(stderr);
    return 2;
  }
  for (const Command& c : Commands()) {
    if (std::strcmp(c.name, name) == 0) std::printf("usage: slv2pack %s %s\n\n", c.name, c.usage);
  }
  std::printf("%s\n", help);
  return 0;
}

}  // namespace
}  // namespace slv2::pack

int main(int argc, char** argv) {
  using namespace slv2::pack;
  SetUpTerminal();
  RemoveScratchOnInterrupt();
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("slv2pack %s\n", SLV2_VERSION);
    return 0;
  }
  if (std::strcmp(argv[1], "help") == 0) return PrintHelp(argc == 3 ? argv[2] : nullptr);
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
