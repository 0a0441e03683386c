// The shell's finishing updater: runs the shell's storage once more, last in
// every run, after all other products. Its migration before the fixed steps
// is the shell updater's (by then it only finds the 2.1 key); after them, on
// NT-family systems, it opens the shell's folder tree to all users again, so
// that what the other products wrote there is covered too.
#pragma once

#include "products/Slv2MainUpdater.h"

namespace slv2 {

class TSlv2MainFinishUpdater : public TSlv2MainUpdater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2MainFinishUpdater(const TSlv2UpdaterClass& type = Class())
      : TSlv2MainUpdater(type) {}

  void AfterExecute() override;
};

}  // namespace slv2
