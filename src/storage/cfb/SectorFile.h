// The file as an array of sectors behind the header: sector n starts at byte
// (n + 1) * sector size. Reading bytes the file does not hold is corruption,
// except in a file open for changes: there the bytes past its end at opening
// belong to sectors allocated since (or to a last sector its writer did not
// pad) and read as zeros until written; the file is extended to cover every
// allocated sector on the next sync.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/cfb/LockBytes.h"

namespace slv2::cfb {

class SectorFile {
 public:
  SectorFile(LockBytes& bytes, uint32_t sectorShift, bool writable);

  uint32_t SectorSize() const { return 1u << shift_; }
  uint32_t Shift() const { return shift_; }
  // Sectors the file held when it was opened, a partial last one included.
  uint32_t SectorsAtOpen() const { return sectorsAtOpen_; }
  // Whole sectors the file holds now.
  uint64_t SectorsHeld() const { return physical_ >> shift_ == 0 ? 0 : (physical_ >> shift_) - 1; }

  // `count` bytes from `offset` within `sector`, possibly running on into the
  // sectors that follow it.
  void Read(uint32_t sector, uint32_t offset, void* buffer, size_t count);
  // Stream data, in sectors that may later be freed and handed out again.
  void Write(uint32_t sector, uint32_t offset, const void* buffer, size_t count);
  // The file's own structures (tables, directory), in sectors never freed.
  void WriteStructure(uint32_t sector, uint32_t offset, const void* buffer, size_t count);
  // Writes zeros where the file may hold other bytes: below its end at
  // opening and where stream data was written since. Elsewhere the bytes are
  // zeros already (holes, or past the end), so that growing a stream costs no
  // writes.
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
  uint64_t zerosFrom_;  // bytes past the file's end from here on read as zeros
  uint64_t dataEnd_;    // no byte from here on was ever anything but zero
};

}  // namespace slv2::cfb
