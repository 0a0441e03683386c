#include "products/Slv2MainFinishUpdater.h"

#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2MainFinishUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2MainFinishUpdater", "main",
                                      Utf8ToAnsi("Завершение обновления оболочки Zarvik:Solvane"),
                                      "", true, MakeUpdater<TSlv2MainFinishUpdater>);
  return type;
}

void TSlv2MainFinishUpdater::AfterExecute() {
  if (IsNtFamily()) allowSlvFilesForEveryone();
}

}  // namespace slv2
