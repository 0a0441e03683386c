// The Probix remote-testing module: the base sequence on its storage only.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2PX2002Updater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2PX2002Updater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}
};

}  // namespace slv2
