#include "storage/cfb/Header.h"

#include <cstring>

#include "storage/cfb/Error.h"

namespace slv2::cfb {

namespace {
constexpr uint16_t kByteOrderMark = 0xFFFE;
}  // namespace

bool Header::HasSignature(const uint8_t* raw, size_t size) {
  return size >= sizeof kSignature && std::memcmp(raw, kSignature, sizeof kSignature) == 0;
}

Header Header::Parse(const uint8_t* raw) {
  Header h;
  std::memcpy(h.clsid, raw + 8, sizeof h.clsid);
  h.minorVersion = Load16(raw + 24);
  h.majorVersion = Load16(raw + 26);
  h.sectorShift = Load16(raw + 30);
  if (Load16(raw + 28) != kByteOrderMark) Fail(stg::kStgEInvalidHeader, "byte order");
  if (!(h.majorVersion == 3 && h.sectorShift == 9) && !(h.majorVersion == 4 && h.sectorShift == 12))
    Fail(stg::kStgEInvalidHeader, "version and sector size");
  if (Load16(raw + 32) != kMiniSectorShift) Fail(stg::kStgEInvalidHeader, "mini sector size");
  if (Load32(raw + 56) != kMiniStreamCutoff) Fail(stg::kStgEInvalidHeader, "mini stream cutoff");
  h.numDirSectors = Load32(raw + 40);
  h.numFatSectors = Load32(raw + 44);
  h.firstDirSector = Load32(raw + 48);
  h.transactionSignature = Load32(raw + 52);
  h.firstMiniFatSector = Load32(raw + 60);
  h.numMiniFatSectors = Load32(raw + 64);
  h.firstDifatSector = Load32(raw + 68);
  h.numDifatSectors = Load32(raw + 72);
  for (uint32_t i = 0; i < kHeaderDifatSlots; ++i)
    h.difat[i] = Load32(raw + 76 + 4 * i);
  return h;
}

void Header::Serialize(uint8_t* raw) const {
  std::memset(raw, 0, kHeaderBytes);
  std::memcpy(raw, kSignature, sizeof kSignature);
  std::memcpy(raw + 8, clsid, sizeof clsid);
  Store16(raw + 24, minorVersion);
  Store16(raw + 26, majorVersion);
  Store16(raw + 28, kByteOrderMark);
  Store16(raw + 30, sectorShift);
  Store16(raw + 32, kMiniSectorShift);
  Store32(raw + 40, majorVersion == 3 ? 0 : numDirSectors);
  Store32(raw + 44, numFatSectors);
  Store32(raw + 48, firstDirSector);
  Store32(raw + 52, transactionSignature);
  Store32(raw + 56, kMiniStreamCutoff);
  Store32(raw + 60, firstMiniFatSector);
  Store32(raw + 64, numMiniFatSectors);
  Store32(raw + 68, firstDifatSector);
  Store32(raw + 72, numDifatSectors);
  for (uint32_t i = 0; i < kHeaderDifatSlots; ++i)
    Store32(raw + 76 + 4 * i, difat[i]);
}

}  // namespace slv2::cfb
