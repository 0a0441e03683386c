#include "publish/UpdateStage.h"

#include "patch/DiffMaker.h"
#include "publish/DeleteList.h"
#include "publish/PublishError.h"
#include "publish/StoredSize.h"
#include "storage/FileUtil.h"
#include "storage/gmStrmUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::publish {
namespace {

// The longest element name a storage holds.
constexpr size_t kMaxElementName = 31;
constexpr const char kDiffSuffix[] = ".diff";
constexpr const char kPatchSuffix[] = ".patch";
constexpr const char kDeleteAfter[] = "Delete_After.ini";

void CopyWhole(const std::string& from, const std::string& to) {
  if (!TgmFileUtil::CopyFile(from, to, false)) {
    throw EPublishError("Cannot copy " + from + " to " + to + ": " +
                        SysErrorMessage(fs::LastError()));
  }
}

class TStager {
 public:
  TStager(const std::string& folder, const TStageOptions& options)
      : folder_(folder), options_(options) {}

  void AddFile(const TFilePlan& file, TStage& stage) {
    const std::string& path = file.newFile->path;
    for (const char* suffix : {kDiffSuffix, kPatchSuffix}) {
      if (path.ends_with(suffix)) {
        throw EPublishError(file.newFile->fullPath + ": the updater takes an element named *" +
                            suffix + " for a difference or a merge, not for a file");
      }
    }
    std::string element = std::string("files/") + kPartNames[file.part] + "/" + path;
    std::string target = folder_ + "/" + element;
    if (file.change == TFileChange::kChanged) {
      if (TgmFileUtil::ExtractFileName(path, true).size() + sizeof kDiffSuffix - 1 >
          kMaxElementName) {
        stage.longNames.push_back(PartPath(file));
      } else if (TryDifference(file, target)) {
        stage.files.push_back({&file, element + kDiffSuffix, true});
        return;
      }
    }
    CopyWhole(file.newFile->fullPath, target);
    stage.files.push_back({&file, element, false});
  }

  void AddExtras(const std::vector<std::string>& deletions) {
    std::string deleteAfter;
    if (!options_.extraDir.empty()) {
      for (const auto& [key, extra] : ReadFileTree(options_.extraDir)) {
        if (key.starts_with("FILES/")) {
          throw EPublishError(extra.fullPath + ": the files come from the releases, not from " +
                              options_.extraDir);
        }
        if (AnsiSameText(extra.path, kDeleteAfter) && !deletions.empty()) {
          deleteAfter = extra.fullPath;
          continue;
        }
        CopyWhole(extra.fullPath, folder_ + "/" + extra.path);
      }
    }
    if (deletions.empty()) return;
    std::string text;
    if (!deleteAfter.empty() && !ReadFileToString(deleteAfter, text)) {
      throw EPublishError("Cannot read " + deleteAfter);
    }
    std::string merged = MergeDeletionEntries(text, deletions);
    if (!WriteStringToFile(folder_ + "/" + kDeleteAfter, merged)) {
      throw EPublishError("Cannot write " + folder_ + "/" + kDeleteAfter);
    }
  }

 private:
  // Keeps NAME.diff when the storage holds it in fewer bytes than the whole
  // file; false when the whole file is to go instead.
  bool TryDifference(const TFilePlan& file, const std::string& target) {
    std::string diffFile = target + kDiffSuffix;
    std::string folder = TgmFileUtil::ExtractFilePath(diffFile);
    if (!TgmFileUtil::ForceDirectories(folder)) {
      throw EPublishError("Cannot create " + folder + ": " + SysErrorMessage(fs::LastError()));
    }
    CreateDiffFile(file.oldFile->fullPath, file.newFile->fullPath, diffFile);
    uint64_t difference = StoredSize(diffFile, options_.compress);
    if (difference < StoredSize(file.newFile->fullPath, options_.compress, difference)) return true;
    if (!fs::DeleteFile(diffFile)) {
      throw EPublishError("Cannot delete " + diffFile + ": " + SysErrorMessage(fs::LastError()));
    }
    return false;
  }

  const std::string& folder_;
  const TStageOptions& options_;
};

}  // namespace

TStage StageUpdate(const std::vector<TFilePlan>& plan, const TRelease& newRelease,
                   const std::string& folder, const TStageOptions& options) {
  TStage stage;
  TStager stager(folder, options);
  for (const TFilePlan& file : plan) {
    bool shipped = file.change == TFileChange::kNew || file.change == TFileChange::kChanged ||
                   (file.change == TFileChange::kKept && file.newFile);
    if (shipped) stager.AddFile(file, stage);
  }
  stage.deletions = DeletionEntries(plan, newRelease.parts[kProductPart]);
  stager.AddExtras(stage.deletions);
  return stage;
}

}  // namespace slv2::publish
