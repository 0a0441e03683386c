// The setting in which hostile update storages meet the updater core: a
// folder holding the shell folder with the product folder inside it
// (installed once in a registry of the setting's own), a folder outside both
// with files that nothing may touch, the updater's current folder and its
// temporary folder. Every file gets these folders afresh; the updater runs
// isolated, and afterwards only the shell folder may differ.
#pragma once

#include <memory>
#include <string>

#include "HostileCorpus.h"
#include "TestSupport.h"
#include "UpdaterTestSupport.h"

namespace slv2::test::hostile {

class UpdateSetting {
 public:
  UpdateSetting();

  // Makes the folders afresh: the installed product files, the victims
  // outside, an empty temporary folder; no storage yet.
  void Reset();
  // Runs the updater on storageFile; false after a crash or a hang. Then
  // checks that nothing outside the shell folder changed and that no
  // temporary file stayed.
  bool Run(const CorpusFile& file, Verdict* verdict);

 private:
  TempRegistry registry_;
  TempDir dir_;

 public:
  std::string shell = dir_ / "Solvane", product = shell + "/testprod";
  std::string outside = dir_ / "outside", cwd = dir_ / "cwd", temp = dir_ / "tmp";
  std::string storageFile = dir_ / "pkg/testprod.stg";

 private:
  ScopedTempFolder tempFolder_{temp};
};

}  // namespace slv2::test::hostile
