#include "products/Slv2OrthoDataUpdater.h"

#include "log/LogCategory.h"
#include "products/Slv2HelpFiles.h"
#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2OrthoDataUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2OrthoDataUpdater", "orthography",
                                      Utf8ToAnsi("Тесты по орфографии (БД)"), "ortho_data", false,
                                      MakeUpdater<TSlv2OrthoDataUpdater>);
  return type;
}

void TSlv2OrthoDataUpdater::AfterExecute() {
  Logger().Debug("Specific part of \"ortho_data\" update started");
  removeOldHelpFiles();
  Logger().Debug("Specific part of \"ortho_data\" update finished");
}

void TSlv2OrthoDataUpdater::removeOldHelpFiles() {
  RemoveOldHelpFiles(*this, "help\\ortho*.chi");
}

}  // namespace slv2
