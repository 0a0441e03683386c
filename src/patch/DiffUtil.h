// File-level application of a difference: the one operation the updater calls
// for a ".diff" element. It never raises and never opens the old file for
// writing.
#pragma once

#include <string>

#include "patch/DiffDecoder.h"
#include "sys/Exception.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EDiffUtil, Exception);

// Decodes `diffFile` against `sourceFile` into `targetFile` (created, or
// emptied when it exists). True when the whole difference decoded and every
// checksum matched; false on any failure, including a missing source or
// difference (the target is then not created). After a failure the target may
// hold a partial result, which the caller discards.
bool ApplyDiffFile(const std::string& sourceFile, const std::string& targetFile,
                   const std::string& diffFile, const TDiffProgressProc& progress = nullptr);

// True when `installedFile` already is what `diffFile` makes of its old
// version (DiffResultInPlace); false too when either cannot be read.
bool DiffAlreadyApplied(const std::string& installedFile, const std::string& diffFile);

}  // namespace slv2
