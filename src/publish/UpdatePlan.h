// What an update must do, file by file, to turn an installed OLD release into
// NEW, and which files the updater would leave as they are although NEW
// changed or dropped them.
#pragma once

#include <string>
#include <vector>

#include "publish/ReleaseTree.h"

namespace slv2::publish {

enum class TFileChange {
  kNew,      // only in NEW
  kSame,     // the same bytes in both: nothing to ship
  kChanged,  // other bytes in NEW
  kRemoved,  // only in OLD, in the product part: to be deleted
  // The installed file would stay: changed in NEW to an older version, or
  // to one without the version block OLD's file has, so that the updater
  // keeps the installed file; or only in OLD's shell part, where deletions
  // do not reach.
  kKept,
};

struct TFilePlan {
  TReleasePart part;
  TFileChange change;
  const TReleaseFile* oldFile;  // nullptr for kNew
  const TReleaseFile* newFile;  // nullptr for files only in OLD
  std::string reason;           // why a kKept file stays
};

// The files of both parts, product first, each in path order. The plan
// points into the two releases, which must outlive it.
std::vector<TFilePlan> PlanUpdate(const TRelease& oldRelease, const TRelease& newRelease);

// "<part>/<path>" of a planned file, as messages and the verification name it.
std::string PartPath(const TFilePlan& file);

}  // namespace slv2::publish
