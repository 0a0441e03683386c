// A temporary machine with the family installed, the one setting of the
// updater, session, window and end-to-end tests: a fresh registry whose
// machine-wide 2.1 key names the shell folder (its common program group
// complete, below the machine's own $XDG_DATA_HOME, so that the shell's
// finishing steps find nothing to move), products registered below the
// shell folder, and update storages in the package folder.
#pragma once

#include <string>

#include "UpdaterTestSupport.h"

namespace slv2::test {

class FamilyMachine {
 public:
  FamilyMachine();
  // Registers the product with its folder, named as its id, below the shell
  // folder; the shell ("main") is registered from the start.
  void Install(const std::string& id);
  // <name>.stg in the package folder with the streams, replacing one there.
  void Pack(const std::string& name, const Streams& streams = {});
  std::string Product(const std::string& id) const { return Join(shell, id); }

  TempRegistry registry;
  TempDir dir;
  ScopedEnv dataHome{"XDG_DATA_HOME", dir / "share"};
  const std::string shell = dir / "Solvane";
  const std::string package = dir / "pkg";
};

}  // namespace slv2::test
