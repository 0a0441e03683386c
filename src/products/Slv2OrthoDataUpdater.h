// The orthography database: the subject's product identifier, a storage of
// its own (ortho_data); afterwards the shell's old orthography help files go.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2OrthoDataUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2OrthoDataUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}

  void AfterExecute() override;

 private:
  void removeOldHelpFiles();
};

}  // namespace slv2
