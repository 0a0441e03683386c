// What a made update storage carries, file by file, summed up for the
// publisher: how many files go new, whole, as differences, are deleted,
// left out or kept, and the bytes of each.
#pragma once

#include <cstdint>
#include <string>

#include "publish/UpdateStage.h"

namespace slv2::publish {

struct TSummaryRow {
  size_t files = 0;
  uint64_t bytes = 0;
};

struct TUpdateSummary {
  // Bytes as stored in the storage.
  TSummaryRow added, whole, differences, kept;
  uint64_t differencesOf = 0;  // NEW's bytes of the files sent as differences
  TSummaryRow deleted;         // OLD's bytes
  size_t deleteEntries = 0;
  TSummaryRow leftOut;  // NEW's bytes of the files that are the same in OLD
  TSummaryRow release;  // all of NEW
  uint64_t storageBytes = 0;
};

TUpdateSummary SummarizeUpdate(const std::vector<TFilePlan>& plan, const TStage& stage,
                               const std::string& storageFile);

}  // namespace slv2::publish
