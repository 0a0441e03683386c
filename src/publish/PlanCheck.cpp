#include "publish/PlanCheck.h"

#include "sys/version/VerInfo.h"

namespace slv2::publish {
namespace {

bool HasVersion(const std::string& file) {
  VsFixedFileInfo info;
  return GetFixedFileInfo(file, info);
}

// +1 when NEW's file carries a higher version than OLD's, -1 a lower one, 0
// when they are equal or one has none.
int VersionDirection(const TFilePlan& file) {
  if (!HasVersion(file.oldFile->fullPath) || !HasVersion(file.newFile->fullPath)) return 0;
  int compared = 0;
  if (!CompareFileVersionsChecked(file.newFile->fullPath, file.oldFile->fullPath, compared)) {
    return 0;
  }
  return compared > 0 ? 1 : compared < 0 ? -1 : 0;
}

}  // namespace

TPlanCheck CheckPlan(const std::vector<TFilePlan>& plan) {
  TPlanCheck check;
  size_t shared = 0, oldFiles = 0, newFiles = 0, upgrades = 0, downgrades = 0;
  bool anyChange = false;
  for (const TFilePlan& file : plan) {
    oldFiles += file.oldFile != nullptr;
    newFiles += file.newFile != nullptr;
    anyChange = anyChange || file.change != TFileChange::kSame;
    if (!file.oldFile || !file.newFile) {
      if (file.newFile) {
        for (const char* suffix : {".diff", ".patch"}) {
          if (file.newFile->path.ends_with(suffix)) {
            check.problems.push_back(PartPath(file) + ": the updater takes a name ending in " +
                                     suffix + " for a difference or a merge, not for a file");
          }
        }
      }
      continue;
    }
    ++shared;
    if (file.change == TFileChange::kSame) continue;
    int direction = VersionDirection(file);
    upgrades += direction > 0;
    downgrades += direction < 0;
  }
  check.nothingToUpdate = !anyChange;
  if (shared == 0 && oldFiles > 0 && newFiles > 0) {
    check.warnings.push_back(
        "OLD and NEW share no file: is one of them a folder too deep or too high?");
  }
  if (downgrades > upgrades) {
    check.warnings.push_back("NEW looks older than OLD: " + std::to_string(downgrades) +
                             " versioned files go down, " + std::to_string(upgrades) +
                             " up; are OLD and NEW swapped?");
  }
  return check;
}

}  // namespace slv2::publish
