// The punctuation tests: defines ${PUNC_MEDIA} when created and, after the
// fixed steps, removes every file but programs, storages and ini files from
// the product's bin, data and settings folders and its root folder.
#pragma once

#include <string>

#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2PuncUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2PuncUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}

  void Create() override;
  void AfterExecute() override;

 private:
  void addPuncMediaMacro();
  void removeOldFiles(const std::string& folder, bool recursive);
};

}  // namespace slv2
