#include "products/Slv2Math1Updater.h"

#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2Math1Updater::Class() {
  static const TSlv2UpdaterClass type("TSlv2Math1Updater", "mathematics1",
                                      Utf8ToAnsi("Математика (часть 1)"), "", false,
                                      MakeUpdater<TSlv2Math1Updater>);
  return type;
}

}  // namespace slv2
