#include "products/Slv2HelpFiles.h"

#include "log/LogCategory.h"
#include "products/Slv2OldFiles.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

void RemoveOldHelpFiles(TSlv2Updater& updater, const std::string& mask) {
  try {
    if (updater.Slv21Root().empty()) {
      // The help folder is the shell's; without it the mask would name the
      // drive's root.
      updater.Logger().Error(
          Format("%s(): shell folder is unknown, old help files are kept", "removeOldHelpFiles"));
      return;
    }
    std::vector<std::string> files = ListFilesByMask(JoinPath(updater.Slv21Root(), mask), false);
    if (files.empty()) {
      updater.Logger().Warn(Format("%s(): no files found for deletion", "removeOldHelpFiles"));
      return;
    }
    int deleted = 0;
    for (const std::string& file : files) {
      if (DeleteOldFile(updater, file)) ++deleted;
    }
    updater.Logger().Debug(Format("%s(): %d files deleted", "removeOldHelpFiles", deleted));
  } catch (const std::exception& e) {
    updater.LogFailed("removeOldHelpFiles", e);
  }
}

}  // namespace slv2
