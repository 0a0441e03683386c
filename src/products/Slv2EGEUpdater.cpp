#include "products/Slv2EGEUpdater.h"

#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2EGEUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2EGEUpdater", "ege",
                                      Utf8ToAnsi("Интерактивные тесты по ЕГЭ"), "", false,
                                      MakeUpdater<TSlv2EGEUpdater>);
  return type;
}

}  // namespace slv2
