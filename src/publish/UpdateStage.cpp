#include "publish/UpdateStage.h"

#include <algorithm>
#include <set>

#include "patch/DiffMaker.h"
#include "publish/DeleteList.h"
#include "publish/PublishError.h"
#include "publish/StoredSize.h"
#include "storage/FileUtil.h"
#include "storage/gmStrmUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"
#include "updater/Slv2NameMap.h"

namespace slv2::publish {
namespace {

// The longest element name a storage holds.
constexpr size_t kMaxElementName = 31;
constexpr const char kDiffSuffix[] = ".diff";
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
    std::string name = path;
    if (NeedsShortName(path, file.change == TFileChange::kChanged)) {
      name = ShortName(file.part);
      stage.mapped.push_back({&file, name});
    }
    std::string element = std::string("files/") + kPartNames[file.part] + "/" + name;
    std::string target = folder_ + "/" + element;
    if (file.change == TFileChange::kChanged && TryDifference(file, target)) {
      stage.files.push_back({&file, element + kDiffSuffix, true});
      return;
    }
    CopyWhole(file.newFile->fullPath, target);
    stage.files.push_back({&file, element, false});
  }

  // Names the short names take at the root of each part, and the first
  // component of every NEW path there, which they must not meet.
  void ReserveNames(const TRelease& newRelease) {
    for (int part : {kProductPart, kShellPart}) {
      for (const auto& [key, file] : newRelease.parts[part])
        taken_[part].insert(key.substr(0, key.find('/')));
    }
  }

  void AddNameMap(const TStage& stage) {
    if (stage.mapped.empty()) return;
    std::string text;
    for (int part : {kProductPart, kShellPart}) {
      text += std::string("[") + kPartNames[part] + "]\r\n";
      for (const TMappedName& mapped : stage.mapped) {
        if (mapped.file->part != part) continue;
        std::string path = mapped.file->newFile->path;
        std::replace(path.begin(), path.end(), '/', '\\');
        text += mapped.shortName + "=" + path + "\r\n";
      }
    }
    std::string file = folder_ + "/files/" + kNameMapElement;
    if (!WriteStringToFile(file, text)) throw EPublishError("Cannot write " + file);
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

  static bool NeedsShortName(const std::string& path, bool changed) {
    size_t start = 0;
    for (size_t end = path.find('/'); end != std::string::npos; end = path.find('/', start)) {
      if (end - start > kMaxElementName) return true;
      start = end + 1;
    }
    return path.size() - start + (changed ? sizeof kDiffSuffix - 1 : 0) > kMaxElementName;
  }

  std::string ShortName(TReleasePart part) {
    for (;;) {
      std::string name = "~name" + std::to_string(++lastShortName_);
      if (taken_[part].insert(FileKey(name)).second) return name;
    }
  }

  const std::string& folder_;
  const TStageOptions& options_;
  std::set<std::string> taken_[2];
  unsigned lastShortName_ = 0;
};

}  // namespace

TStage StageUpdate(const std::vector<TFilePlan>& plan, const TRelease& newRelease,
                   const std::string& folder, const TStageOptions& options) {
  TStage stage;
  TStager stager(folder, options);
  stager.ReserveNames(newRelease);
  for (const TFilePlan& file : plan) {
    bool shipped = file.change == TFileChange::kNew || file.change == TFileChange::kChanged ||
                   (file.change == TFileChange::kKept && file.newFile);
    if (shipped) stager.AddFile(file, stage);
  }
  stager.AddNameMap(stage);
  stage.deletions = DeletionEntries(plan, newRelease.parts[kProductPart]);
  stager.AddExtras(stage.deletions);
  return stage;
}

}  // namespace slv2::publish
