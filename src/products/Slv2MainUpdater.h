// The shell's updater ("main"): first in every run. Its work before and after
// the fixed steps (registry migration, COM registration, shortcuts, access
// rights) belongs here.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2MainUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2MainUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}
};

}  // namespace slv2
