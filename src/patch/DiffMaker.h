// The publisher's side of a ".diff" element: a difference file made from an
// old and a new file, checked by decoding it before it is handed out.
#pragma once

#include <cstdint>
#include <string>

#include "patch/DiffEncoder.h"

namespace slv2 {

struct TDiffFileResult {
  int64_t diffSize;
  int64_t newSize;
  // Whether shipping the difference saves bytes over shipping the new file.
  bool Smaller() const { return diffSize < newSize; }
};

// Makes `diffFile` rebuild `newFile` from `oldFile`: the difference is
// written beside it, decoded against `oldFile` and compared with `newFile`,
// and only then renamed to `diffFile`. Raises EFileOpenError when a file
// cannot be opened, stream errors as they come, EDiffUtil when the decoded
// data differs or the rename fails (and the decoder's own exception should it
// refuse the difference); after a failure `diffFile` is as it was.
TDiffFileResult CreateDiffFile(const std::string& oldFile, const std::string& newFile,
                               const std::string& diffFile,
                               const TDiffEncoderOptions& options = {});

}  // namespace slv2
