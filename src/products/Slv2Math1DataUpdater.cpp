#include "products/Slv2Math1DataUpdater.h"

#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2Math1DataUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2Math1DataUpdater", "mathematics1",
                                      Utf8ToAnsi("Математика (часть I) (БД)"), "math1_data", false,
                                      MakeUpdater<TSlv2Math1DataUpdater>);
  return type;
}

}  // namespace slv2
