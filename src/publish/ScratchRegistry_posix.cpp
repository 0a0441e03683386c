#include <cstdlib>

#include "publish/ScratchRegistry.h"
#include "sys/FileLayer.h"

namespace slv2::publish {

namespace {
constexpr const char kVariable[] = "SLV2_REGISTRY";
}  // namespace

TScratchRegistry::TScratchRegistry(const std::string& folder) {
  if (const char* previous = std::getenv(kVariable)) {
    saved_ = previous;
    hadSaved_ = true;
  }
  // The registry layer opens the named database at its next call; the
  // registry editor inherits the variable.
  ::setenv(kVariable, (fs::NativePath(folder) + "/registry.db").c_str(), 1);
}

TScratchRegistry::~TScratchRegistry() {
  if (hadSaved_) {
    ::setenv(kVariable, saved_.c_str(), 1);
  } else {
    ::unsetenv(kVariable);
  }
}

bool TScratchRegistry::ReachesChildProcesses() {
  return true;
}

}  // namespace slv2::publish
