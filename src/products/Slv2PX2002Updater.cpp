#include "products/Slv2PX2002Updater.h"

#include "sys/Cp1251.h"

namespace slv2 {

const TSlv2UpdaterClass& TSlv2PX2002Updater::Class() {
  static const TSlv2UpdaterClass type("TSlv2PX2002Updater", "px2002", Utf8ToAnsi("Zarvik:Probix"),
                                      "", false, MakeUpdater<TSlv2PX2002Updater>);
  return type;
}

}  // namespace slv2
