// The demo machine of the kill, race and fleet report tests: the demo's
// installed family, registry and update storages (scripts/demo-machine),
// restored before each run. Each platform keeps it its own way
// (KillMachine_posix.cpp, KillMachine_win32.cpp).
#pragma once

#include <memory>
#include <string>

#include "TestSupport.h"

namespace slv2::test {

class KillMachine {
 public:
  virtual ~KillMachine() = default;
  // The folder of the update storages.
  virtual std::string Package() const = 0;
  // The machine again as the demo made it, registry included.
  virtual void Restore() = 0;
  // Every file an update may change, by its "/"-delimited path.
  virtual Tree Snapshot() const = 0;
  // What is wrong with the registry after a kill; "" when it is sound.
  virtual std::string RegistryProblem() const = 0;
};

// The demo's machine with its working files in `dir`; nullptr where there is
// no demo (on Windows one made beforehand, named by SLV2_DEMO_DIR) or when
// making it failed, which is a test failure.
std::unique_ptr<KillMachine> MakeKillMachine(const TempDir& dir);

}  // namespace slv2::test
