// The orthography tests: defines ${ORTHO_MEDIA} when created.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2OrthoUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2OrthoUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}

  void Create() override;

 private:
  void addOrthoMediaMacro();
};

}  // namespace slv2
