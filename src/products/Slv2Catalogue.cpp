#include "products/Slv2Catalogue.h"

#include "products/Slv2EGEUpdater.h"
#include "products/Slv2MainFinishUpdater.h"
#include "products/Slv2MainUpdater.h"
#include "products/Slv2Math1DataUpdater.h"
#include "products/Slv2Math1Updater.h"
#include "products/Slv2OrthoDataUpdater.h"
#include "products/Slv2OrthoUpdater.h"
#include "products/Slv2PX2002Updater.h"
#include "products/Slv2PuncDataUpdater.h"
#include "products/Slv2PuncUpdater.h"
#include "sys/StrUtil.h"

namespace slv2 {

const std::vector<const TSlv2UpdaterClass*>& UpdaterCatalogue() {
  // The order is binding: it is the order of registration and of the run.
  static const std::vector<const TSlv2UpdaterClass*> catalogue = {
      &TSlv2MainUpdater::Class(),      &TSlv2PuncUpdater::Class(),
      &TSlv2OrthoUpdater::Class(),     &TSlv2Math1Updater::Class(),
      &TSlv2EGEUpdater::Class(),       &TSlv2PX2002Updater::Class(),
      &TSlv2PuncDataUpdater::Class(),  &TSlv2OrthoDataUpdater::Class(),
      &TSlv2Math1DataUpdater::Class(), &TSlv2MainFinishUpdater::Class(),
  };
  return catalogue;
}

std::string UpdaterStorageFile(const TSlv2UpdaterClass& type, std::string_view packageFolder) {
  return JoinPath(packageFolder, type.GetStorageName()) + ".stg";
}

}  // namespace slv2
