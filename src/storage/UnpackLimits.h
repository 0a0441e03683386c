// What unpacking or merging a storage would write, checked before anything
// is written: a storage a pupil planted in a product folder (which pupils
// may write) must not fill the volume or a folder with millions of files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/gmStorage.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EgmUnpackLimit, EgmStorage);

struct TUnpackLimits {
  uint64_t maxStreams = 100000;                 // far more than any product holds
  uint64_t reserveBytes = uint64_t{256} << 20;  // left free on the volume
};

// Raises EgmUnpackLimit when `streams` (paths in `storage`, as ListStreams
// gives them) are more than the limit, or when what they would write (a
// compressed stream at the size its header states) and `extraBytes`, with
// the reserve, are more than the free space where `folder` lies.
void CheckUnpackLimits(TgmStorage& storage, const std::vector<std::string>& streams,
                       const std::string& folder, uint64_t extraBytes = 0,
                       const TUnpackLimits& limits = {});

}  // namespace slv2
