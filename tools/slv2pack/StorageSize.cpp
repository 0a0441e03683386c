#include "StorageSize.h"

#include "storage/cfb/Format.h"
#include "sys/Exception.h"
#include "sys/Format.h"

namespace slv2::pack {

namespace {

using cfb::UnitsFor;

// Sector numbers of each version stay below these: version 3 below the
// sector holding byte 0x7FFFFF00, version 4 below the special values.
constexpr uint64_t kVersion3Sectors = (cfb::kRangeLockOffset >> 9) - 1;
constexpr uint64_t kVersion4Sectors = cfb::kMaxRegSect + uint64_t{1};

}  // namespace

void StorageSize::AddStream(uint64_t size, bool compressed) {
  // zlib's bound for data it cannot shrink, and the element's header.
  if (compressed) size += size / 1000 + 64 + 16;
  ++elements_;
  if (size < cfb::kMiniStreamCutoff) {
    mini_ += UnitsFor(size, cfb::kMiniSectorShift) << cfb::kMiniSectorShift;
  } else {
    regular9_ += UnitsFor(size, 9);
    regular12_ += UnitsFor(size, 12);
  }
}

uint64_t StorageSize::Sectors(uint32_t shift) const {
  uint64_t size = uint64_t{1} << shift;
  // The writer grows the mini stream by up to an eighth or 1 MiB ahead, the
  // directory by up to a quarter, the FAT by up to an eighth or 256 sectors.
  uint64_t container = UnitsFor(mini_, shift);
  container += container / 8 + ((uint64_t{1} << 20) >> shift);
  uint64_t miniFat = UnitsFor(container * (size / cfb::kMiniSectorBytes) * 4, shift);
  uint64_t directory = UnitsFor((elements_ + 1) * cfb::kDirEntryBytes, shift);
  directory += directory / 4 + 1;
  uint64_t used = (shift == 9 ? regular9_ : regular12_) + container + miniFat + directory;
  uint64_t fat = UnitsFor(used * 4, shift);
  fat += fat / 8 + 256;
  uint64_t difat = fat / (size / 4 - 1) + 1;
  return used + fat + difat;
}

int StorageSize::Version(bool version4) const {
  if (!version4 && Sectors(9) < kVersion3Sectors) return 3;
  if (Sectors(12) < kVersion4Sectors) return 4;
  throw Exception(Format("The storage would take %llu bytes: more than a compound file holds",
                         static_cast<unsigned long long>(Sectors(12) << 12)));
}

}  // namespace slv2::pack
