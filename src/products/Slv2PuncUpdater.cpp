#include "products/Slv2PuncUpdater.h"

#include "log/LogCategory.h"
#include "products/Slv2OldFiles.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2PuncUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2PuncUpdater", "punctuation",
                                      Utf8ToAnsi("Тесты по пунктуации"), "", false,
                                      MakeUpdater<TSlv2PuncUpdater>);
  return type;
}

void TSlv2PuncUpdater::Create() {
  TSlv2Updater::Create();
  addPuncMediaMacro();
}

void TSlv2PuncUpdater::addPuncMediaMacro() {
  // The 2.1 layout keeps the media location per machine, the 2.0 layout per
  // user; a key that exists without its value is an installation fault and
  // stops the creation.
  std::string keyA = JoinPath("\\Software\\Zarvik\\Solvane 2.1", "\\hosts\\punc_media");
  std::string keyB = JoinPath("\\Software\\Zarvik\\Solvane", "punctuation");
  std::string value;
  if (RegKeyExists(reg::kHkeyLocalMachine, keyA)) {
    value = RegReadString(reg::kHkeyLocalMachine, keyA, "Base");
  } else if (RegKeyExists(reg::kHkeyCurrentUser, keyB)) {
    value = RegReadString(reg::kHkeyCurrentUser, keyB, "media");
  }
  if (value.empty()) {
    Logger().Error(Format("%s(): didnt found registry info for value of %s macro",
                          "addPuncMediaMacro", "PUNC_MEDIA"));
    return;
  }
  AddMacro("PUNC_MEDIA", value);
  Logger().Debug(
      Format("%s(): added macro %s=%s", "addPuncMediaMacro", "PUNC_MEDIA", value.c_str()));
}

void TSlv2PuncUpdater::AfterExecute() {
  Logger().Debug("Specific part of \"punctuation\" update started");
  if (ProductRoot().empty()) {
    // Joined with an empty root the folders below would be those of the
    // drive's root.
    Logger().Error(Format("%s(): product folder is unknown, old files are kept", "removeOldFiles"));
  } else {
    removeOldFiles(JoinPath(ProductRoot(), "bin"), true);
    std::string data = JoinPath(ProductRoot(), "data");
    removeOldFiles(data, true);
    Effects().RemoveEmptyFolder(data);  // goes only when nothing is left in it
    removeOldFiles(JoinPath(ProductRoot(), "settings"), true);
    removeOldFiles(ProductRoot(), false);
  }
  Logger().Debug("Specific part of \"punctuation\" update finished");
}

void TSlv2PuncUpdater::removeOldFiles(const std::string& folder, bool recursive) {
  const char* flag = recursive ? "true" : "false";
  try {
    std::vector<std::string> files = ListFilesByMask(JoinPath(folder, "*.*"), recursive);
    if (files.empty()) {
      Logger().Warn(Format("%s(%s, %s): no files found for deletion", "removeOldFiles",
                           folder.c_str(), flag));
      return;
    }
    static const std::vector<std::string> kKept = {"*.exe", "*.stg", "*.ini"};
    int deleted = 0;
    for (const std::string& file : files) {
      if (!TgmFileUtil::MatchesAnyMask(file, kKept, false) && DeleteOldFile(*this, file)) ++deleted;
    }
    Logger().Debug(
        Format("%s(%s, %s): %d files deleted", "removeOldFiles", folder.c_str(), flag, deleted));
  } catch (const std::exception& e) {
    LogFailed("removeOldFiles", e);
  }
}

}  // namespace slv2
