// The punctuation database: the subject's product identifier, a storage of
// its own (punc_data); afterwards the shell's old punctuation help files go.
#pragma once

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2PuncDataUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2PuncDataUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}

  void AfterExecute() override;

 private:
  void removeOldHelpFiles();
};

}  // namespace slv2
