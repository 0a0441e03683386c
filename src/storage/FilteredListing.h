// A folder listing with the attribute filter of the file utilities: an entry
// passes when it has none of the bits hidden, system, volume label and
// directory outside the filter. Plain files (read-only, archive or no bits)
// always pass; with kAttrAnyFile everything passes, "." and ".." included.
#pragma once

#include <cstdint>
#include <string_view>

#include "sys/FileLayer.h"

namespace slv2 {

class TFilteredListing {
 public:
  TFilteredListing(std::string_view mask, uint32_t filter);
  bool Next(fs::FindData* entry);
  // After the end: kErrorNoMoreFiles when the mask matched something, else
  // the platform's reason (file or path not found).
  uint32_t Error() const { return listing_.Error(); }

  static bool IsDotEntry(const fs::FindData& entry) {
    return (entry.attributes & fs::kAttrDirectory) && (entry.name == "." || entry.name == "..");
  }

 private:
  fs::DirListing listing_;
  uint32_t excluded_;
};

}  // namespace slv2
