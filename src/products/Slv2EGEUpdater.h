// The exam tests: the base sequence on their storage, nothing of their own.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2EGEUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2EGEUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}
};

}  // namespace slv2
