#include "products/Slv2PuncDataUpdater.h"

#include "log/LogCategory.h"
#include "products/Slv2HelpFiles.h"
#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2PuncDataUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2PuncDataUpdater", "punctuation",
                                      Utf8ToAnsi("Тесты по пунктуации (БД)"), "punc_data", false,
                                      MakeUpdater<TSlv2PuncDataUpdater>);
  return type;
}

void TSlv2PuncDataUpdater::AfterExecute() {
  Logger().Debug("Specific part of \"punc_data\" update started");
  removeOldHelpFiles();
  Logger().Debug("Specific part of \"punc_data\" update finished");
}

void TSlv2PuncDataUpdater::removeOldHelpFiles() {
  RemoveOldHelpFiles(*this, "help\\punc*.chi");
}

}  // namespace slv2
