#include "publish/UpdatePlan.h"

#include "publish/PublishError.h"
#include "sys/Format.h"
#include "sys/version/VerInfo.h"

namespace slv2::publish {
namespace {

std::string VersionText(const std::string& file) {
  VsFixedFileInfo info;
  if (!GetFixedFileInfo(file, info)) return "none";
  uint16_t major, minor, release, build;
  GetFileVersionParts(info, major, minor, release, build);
  return Format("%u.%u.%u.%u", major, minor, release, build);
}

// Why the updater would keep the installed OLD file instead of NEW's, or ""
// when it replaces it. Whole files are subject to the version rule; a
// difference is not, but would then force onto an installed file what the
// rule refuses, so the same rule decides for both.
std::string KeptReason(const TReleaseFile& oldFile, const TReleaseFile& newFile) {
  int compared = 0;
  if (!CompareFileVersionsChecked(newFile.fullPath, oldFile.fullPath, compared)) {
    throw EPublishError("Cannot read the version of " + newFile.fullPath + " or " +
                        oldFile.fullPath);
  }
  if (compared >= 0) return {};
  std::string newVersion = VersionText(newFile.fullPath);
  std::string oldVersion = VersionText(oldFile.fullPath);
  if (newVersion == "none") return "NEW's file has no version, OLD's has " + oldVersion;
  return "NEW's version " + newVersion + " is older than OLD's " + oldVersion;
}

}  // namespace

std::vector<TFilePlan> PlanUpdate(const TRelease& oldRelease, const TRelease& newRelease) {
  std::vector<TFilePlan> plan;
  for (TReleasePart part : {kProductPart, kShellPart}) {
    const TFileTree& oldTree = oldRelease.parts[part];
    const TFileTree& newTree = newRelease.parts[part];
    for (const auto& [key, newFile] : newTree) {
      auto old = oldTree.find(key);
      if (old == oldTree.end()) {
        plan.push_back({part, TFileChange::kNew, nullptr, &newFile, {}});
        continue;
      }
      const TReleaseFile& oldFile = old->second;
      if (oldFile.size == newFile.size && SameContent(oldFile.fullPath, newFile.fullPath)) {
        plan.push_back({part, TFileChange::kSame, &oldFile, &newFile, {}});
        continue;
      }
      std::string reason = KeptReason(oldFile, newFile);
      plan.push_back({part, reason.empty() ? TFileChange::kChanged : TFileChange::kKept, &oldFile,
                      &newFile, reason});
    }
    for (const auto& [key, oldFile] : oldTree) {
      if (newTree.count(key)) continue;
      if (part == kProductPart) {
        plan.push_back({part, TFileChange::kRemoved, &oldFile, nullptr, {}});
      } else {
        plan.push_back({part, TFileChange::kKept, &oldFile, nullptr,
                        "only in OLD, and deletions reach the product folder only"});
      }
    }
  }
  return plan;
}

std::string PartPath(const TFilePlan& file) {
  const TReleaseFile* any = file.newFile ? file.newFile : file.oldFile;
  return std::string(kPartNames[file.part]) + "/" + any->path;
}

}  // namespace slv2::publish
