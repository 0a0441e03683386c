// The mathematics database: the subject's product identifier, a storage of its
// own (math1_data), and the base sequence only.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2Math1DataUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2Math1DataUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}
};

}  // namespace slv2
