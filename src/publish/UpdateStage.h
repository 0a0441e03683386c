// Lays out in a folder the tree of the update storage that turns OLD into
// NEW, as `slv2pack build` turns it into a storage: below "files/product" and
// "files/solvane" every new or changed file, whole or as NAME.diff, whichever
// the storage keeps smaller; "Delete_After.ini" for what NEW dropped; and the
// publisher's own registry scripts and ini files as they are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "publish/UpdatePlan.h"

namespace slv2::publish {

struct TStageOptions {
  std::string extraDir;   // the publisher's scripts and ini files; "" for none
  bool compress = false;  // elements go compressed where that is smaller
};

// One file element of the storage.
struct TStagedFile {
  const TFilePlan* file;
  std::string element;  // its path in the storage, "/" between names
  bool difference;
};

// A file that travels under a short element name through the name map.
struct TMappedName {
  const TFilePlan* file;
  std::string shortName;
};

struct TStage {
  std::vector<TStagedFile> files;
  std::vector<std::string> deletions;  // the computed entries of "Delete_After.ini"
  std::vector<TMappedName> mapped;
};

// Fills `folder` (which exists and is empty). Every difference is checked
// to rebuild its NEW file before it is kept (CheckPlan has passed). Raises
// EPublishError for an extra folder that holds files of its own; file errors
// as they come.
TStage StageUpdate(const std::vector<TFilePlan>& plan, const TRelease& newRelease,
                   const std::string& folder, const TStageOptions& options);

}  // namespace slv2::publish
