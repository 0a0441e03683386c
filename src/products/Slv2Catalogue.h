// The catalogue: the ten updater types in the one order in which they are
// registered and run, and where each one's update storage lies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "updater/Slv2Updater.h"

namespace slv2 {

// TSlv2MainUpdater, TSlv2PuncUpdater, TSlv2OrthoUpdater, TSlv2Math1Updater,
// TSlv2EGEUpdater, TSlv2PX2002Updater, TSlv2PuncDataUpdater,
// TSlv2OrthoDataUpdater, TSlv2Math1DataUpdater, TSlv2MainFinishUpdater.
const std::vector<const TSlv2UpdaterClass*>& UpdaterCatalogue();

// The type's update storage in the package folder: the folder joined with
// the storage name, followed by ".stg".
std::string UpdaterStorageFile(const TSlv2UpdaterClass& type, std::string_view packageFolder);

}  // namespace slv2
