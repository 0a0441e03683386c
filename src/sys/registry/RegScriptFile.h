// Imports of registry script files as "regedit /s FILE" makes them: the file
// is read in a window of bounded size and its changes are made in one
// transaction as they are read, so that a script of any size takes about the
// same memory. Inside a transaction of the caller the script's is part of
// it: many scripts then wait for the disk once, at the caller's commit.
#pragma once

#include <string>
#include <vector>

#include "sys/WinError.h"
#include "sys/registry/RegScript.h"

namespace slv2::reg {

struct ScriptImport {
  bool isScript = false;           // false: no header, nothing changed
  uint32_t error = kErrorSuccess;  // reading the file or committing: nothing changed
  std::vector<ScriptWarning> warnings;
};

ScriptImport ImportRegScriptFile(const std::string& fileName);

// The same, with what went wrong on standard error as the registry editor of
// Linux reports it ("regedit: FILE:LINE: ..." for each line left out,
// "regedit: FILE: ..." when nothing was imported): true when it was imported.
bool ImportRegScriptFileReporting(const std::string& fileName);

}  // namespace slv2::reg
