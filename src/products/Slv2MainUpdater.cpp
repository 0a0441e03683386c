#include "products/Slv2MainUpdater.h"

#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2MainUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2MainUpdater", "main",
                                      Utf8ToAnsi("Оболочка Zarvik:Solvane"), "", false,
                                      MakeUpdater<TSlv2MainUpdater>);
  return type;
}

}  // namespace slv2
