// Mathematics part 1: the base sequence on its storage, nothing of its own.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2Math1Updater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2Math1Updater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}
};

}  // namespace slv2
