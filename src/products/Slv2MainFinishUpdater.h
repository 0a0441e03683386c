// The shell's finishing updater: runs the shell's storage once more, last in
// every run, after all other products.
#pragma once

#include "products/Slv2MainUpdater.h"

namespace slv2 {

class TSlv2MainFinishUpdater : public TSlv2MainUpdater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2MainFinishUpdater(const TSlv2UpdaterClass& type = Class())
      : TSlv2MainUpdater(type) {}
};

}  // namespace slv2
