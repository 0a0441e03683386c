#include "products/Slv2OldFiles.h"

#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

std::vector<std::string> ListFilesByMask(const std::string& mask, bool recursive) {
  std::vector<std::string> entries;
  uint32_t options = TFileListOption::FullNames | (recursive ? TFileListOption::Recursive : 0);
  BuildFileList(mask, 0, entries, TAttrMatch::Any, options);
  std::vector<std::string> files;
  for (std::string& entry : entries) {
    uint32_t attributes = fs::GetFileAttributes(entry);
    if (attributes != fs::kInvalidFileAttributes && !(attributes & fs::kAttrDirectory)) {
      files.push_back(std::move(entry));
    }
  }
  return files;
}

bool DeleteOldFile(TSlv2Updater& updater, const std::string& file) {
  TSlv2Outcome outcome(TSlv2OutcomeKind::Delete, file);
  bool deleted = updater.DryRun() || fs::DeleteFile(file);
  if (!deleted) outcome.failure = SysErrorMessage(fs::LastError());
  updater.Record("removeOldFiles", std::move(outcome));
  return deleted;
}

}  // namespace slv2
