// slv2pack version FILE: the file version the updater compares, as
// MAJOR.MINOR.RELEASE.BUILD, or "none" for a file without a version block.
#include <cstdio>

#include "Command.h"
#include "sys/version/VerInfo.h"

namespace slv2::pack {
namespace {

int Version(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("version");
  VsFixedFileInfo info;
  if (!GetFixedFileInfo(args[0], info)) {
    std::puts("none");
    return 0;
  }
  uint16_t major, minor, release, build;
  GetFileVersionParts(info, major, minor, release, build);
  std::printf("%u.%u.%u.%u\n", major, minor, release, build);
  return 0;
}

}  // namespace
}  // namespace slv2::pack

SLV2PACK_COMMAND(version, "version", "FILE", slv2::pack::Version)
