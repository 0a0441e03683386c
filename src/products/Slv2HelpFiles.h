// The clean-up both subject databases run after their update: the shell's
// old help files of their subject go.
#pragma once

#include <string>

namespace slv2 {

class TSlv2Updater;

// Deletes every file that the mask, relative to the shell folder, names (no
// sub-folders), logging as `removeOldHelpFiles` through the updater's
// logger. Catches every exception itself.
void RemoveOldHelpFiles(TSlv2Updater& updater, const std::string& mask);

}  // namespace slv2
