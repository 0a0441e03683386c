// The header at the start of a compound file: version, sector sizes, where the
// FAT, directory, mini FAT and DIFAT begin, and the first 109 FAT sector
// numbers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "storage/cfb/Format.h"

namespace slv2::cfb {

struct Header {
  uint8_t clsid[16] = {};
  uint16_t minorVersion = 0x3E;
  uint16_t majorVersion = 3;
  uint16_t sectorShift = 9;
  uint32_t numDirSectors = 0;
  uint32_t numFatSectors = 0;
  uint32_t firstDirSector = kEndOfChain;
  uint32_t transactionSignature = 0;
  uint32_t firstMiniFatSector = kEndOfChain;
  uint32_t numMiniFatSectors = 0;
  uint32_t firstDifatSector = kEndOfChain;
  uint32_t numDifatSectors = 0;
  std::array<uint32_t, kHeaderDifatSlots> difat;

  Header() { difat.fill(kFreeSect); }

  uint32_t SectorSize() const { return 1u << sectorShift; }

  // True when the bytes start with the compound-file signature.
  static bool HasSignature(const uint8_t* raw, size_t size);
  // Parses the 512 header bytes; raises STG_E_INVALIDHEADER for values no
  // valid file has (version, byte order, sector sizes, mini-stream cutoff).
  static Header Parse(const uint8_t* raw);
  void Serialize(uint8_t* raw) const;
};

}  // namespace slv2::cfb
