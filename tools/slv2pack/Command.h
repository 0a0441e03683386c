// slv2pack subcommands register themselves here, one file per group of
// subcommands, so that each can be added without touching the others.
#pragma once

#include <string>
#include <vector>

namespace slv2::pack {

// Arguments arrive as program strings (converted from the terminal's UTF-8).
// A command returns the exit status; it reports failures by throwing (the
// message becomes the one line on stderr) or by returning non-zero after
// printing its own line.
struct Command {
  const char* name;
  const char* usage;  // the arguments, for the usage text
  int (*run)(const std::vector<std::string>& args);
};

void RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Usage error: prints "slv2pack: usage: slv2pack <name> <usage>" and gives 2.
int UsageError(const char* name);

}  // namespace slv2::pack

#define SLV2PACK_COMMAND(id, name, usage, function)                          \
  namespace {                                                                 \
  const bool registered_##id = (::slv2::pack::RegisterCommand({name, usage, function}), true); \
  }
