#include "products/Slv2OrthoUpdater.h"

#include "log/LogCategory.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2OrthoUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2OrthoUpdater", "orthography",
                                      Utf8ToAnsi("Тесты по орфографии"), "", false,
                                      MakeUpdater<TSlv2OrthoUpdater>);
  return type;
}

void TSlv2OrthoUpdater::Create() {
  TSlv2Updater::Create();
  addOrthoMediaMacro();
}

void TSlv2OrthoUpdater::addOrthoMediaMacro() {
  // The value names the media's disk file; the macro is its folder.
  std::string key = JoinPath("\\Software\\Zarvik\\Solvane", "hosts\\ortho_media_sheg01");
  std::string value;
  if (RegKeyExists(reg::kHkeyCurrentUser, key)) {
    value = RegReadStringDef(reg::kHkeyCurrentUser, key, "Base", "");
  }
  if (!value.empty()) {
    value = TgmFileUtil::ExcludeTrailingDelimiters(TgmFileUtil::ExtractFilePath(value));
  }
  if (value.empty()) {
    Logger().Error(Format("%s(): didnt found registry info for value of %s macro",
                          "addOrthoMediaMacro", "ORTHO_MEDIA"));
    return;
  }
  AddMacro("ORTHO_MEDIA", value);
  Logger().Debug(
      Format("%s(): added macro %s=%s", "addOrthoMediaMacro", "ORTHO_MEDIA", value.c_str()));
}

}  // namespace slv2
