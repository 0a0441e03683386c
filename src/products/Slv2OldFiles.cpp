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
  return updater.Effects().Delete(file, false, TSlv2Outcome(TSlv2OutcomeKind::Delete, file));
}

}  // namespace slv2
