// The catalogue: the ten updater types in the one order in which they are
// registered and run, and the registration test of one type (installed in
// the registry, its update storage beside the program).
#pragma once

#include <memory>
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

// A created updater with its storage open when the type's product is
// installed and its storage file exists in the package folder; otherwise
// nullptr. Errors of creating it or opening the storage pass to the caller.
std::unique_ptr<TSlv2Updater> CreateUpdaterIfInstalled(const TSlv2UpdaterClass& type,
                                                       std::string_view packageFolder);

}  // namespace slv2
