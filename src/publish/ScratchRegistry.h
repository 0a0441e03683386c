// A registry of verify's own for the object's life, so that the family can be
// laid out in it and the updater run against it without touching the
// machine's registry. While it lives, the registry calls of this process go
// to it instead of the machine's registry.
#pragma once

#include <string>

namespace slv2::publish {

class TScratchRegistry {
 public:
  // Linux: a database in `folder` (which must outlive the object), named by
  // SLV2_REGISTRY. Windows: fresh keys below HKEY_CURRENT_USER stand in for
  // HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER. Raises EPublishError when it
  // cannot be set up.
  explicit TScratchRegistry(const std::string& folder);
  ~TScratchRegistry();
  TScratchRegistry(const TScratchRegistry&) = delete;
  TScratchRegistry& operator=(const TScratchRegistry&) = delete;

  // Whether programs started meanwhile (the registry editor that imports an
  // update's registry scripts) see it too. On Windows they see the machine's
  // registry.
  static bool ReachesChildProcesses();

 private:
  std::string saved_;  // Linux: the previous SLV2_REGISTRY; Windows: the key
  bool hadSaved_ = false;
};

}  // namespace slv2::publish
