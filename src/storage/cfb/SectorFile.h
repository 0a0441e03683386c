// The file as an array of sectors behind the header: sector n starts at byte
// (n + 1) * sector size. Reading bytes the file does not hold is corruption,
// except in sectors allocated since the file was opened and not yet written,
// which read as zeros (the file is extended to cover them on the next sync).
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/cfb/LockBytes.h"

namespace slv2::cfb {

class SectorFile {
 public:
  SectorFile(LockBytes& bytes, uint32_t sectorShift);

  uint32_t SectorSize() const { return 1u << shift_; }
  uint32_t Shift() const { return shift_; }
  // Sectors the file held when it was opened, a partial last one included.
  uint32_t SectorsAtOpen() const { return sectorsAtOpen_; }

  // `count` bytes from `offset` within `sector`, possibly running on into the
  // sectors that follow it.
  void Read(uint32_t sector, uint32_t offset, void* buffer, size_t count);
  void Write(uint32_t sector, uint32_t offset, const void* buffer, size_t count);
  // Writes zeros where the file holds bytes; beyond its end they are zeros.
  void Zero(uint32_t sector, uint32_t offset, size_t count);
  // Makes the file hold at least `sectors` whole sectors.
  void Cover(uint32_t sectors);

  void ReadHeader(uint8_t* raw);
  void WriteHeader(const uint8_t* raw);
  void Flush() { bytes_.Flush(); }

 private:
  uint64_t Offset(uint32_t sector, uint32_t offset) const {
    return ((static_cast<uint64_t>(sector) + 1) << shift_) + offset;
  }

  LockBytes& bytes_;
  uint32_t shift_;
  uint64_t physical_;
  uint32_t sectorsAtOpen_;
};

}  // namespace slv2::cfb
