#include "storage/FilteredListing.h"

namespace slv2 {

namespace {
constexpr uint32_t kFilterableBits =
    fs::kAttrHidden | fs::kAttrSystem | fs::kAttrVolumeId | fs::kAttrDirectory;
}  // namespace

TFilteredListing::TFilteredListing(std::string_view mask, uint32_t filter)
    : listing_(mask), excluded_(kFilterableBits & ~filter) {}

bool TFilteredListing::Next(fs::FindData* entry) {
  while (listing_.Next(entry)) {
    if ((entry->attributes & excluded_) == 0) return true;
  }
  return false;
}

}  // namespace slv2
