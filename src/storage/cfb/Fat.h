// Sector allocation: the FAT (one 32-bit link per sector) and the DIFAT that
// lists the FAT's own sectors (109 slots in the header, then a chain of DIFAT
// sectors). The list of FAT sectors is held whole (4 bytes per 128 or 1,024
// sectors of the file); the FAT itself through a window.
//
// When the table runs out of free sectors it grows by several FAT sectors at
// once, placed together: the data written after them runs on unbroken, so
// that it moves in few large writes.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/cfb/AllocationTable.h"
#include "storage/cfb/Chain.h"
#include "storage/cfb/Header.h"
#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class Fat : public LinkTable {
 public:
  Fat(SectorFile& file, Header& header);

  // Reads the list of FAT sectors from the header and the DIFAT. For a file
  // that will be changed the FAT and DIFAT sectors must lie inside the table
  // and get their markers, so that they are never handed out.
  void Load(bool writable);
  // An empty table for a new file.
  void Create();

  uint32_t Shift() const { return file_.Shift(); }
  // The most bytes the file's sectors can ever hold (version 3: under 2 GB).
  uint64_t Capacity() const { return static_cast<uint64_t>(maxSectors_) << file_.Shift(); }
  const std::vector<uint32_t>& FatSectors() const { return fatSectors_; }
  const std::vector<uint32_t>& DifatSectors() const { return difatSectors_; }

  uint32_t Limit() override;
  uint32_t Next(uint32_t sector) override;
  void Link(uint32_t sector, uint32_t next) override { table_.Set(sector, next); }
  // Raises STG_E_DOCFILETOOLARGE when the file would pass what its version
  // holds.
  uint32_t Allocate() override;
  void Release(uint32_t sector) override { table_.Free(sector); }

  // Writes the changed FAT and DIFAT sectors and fills in the header's fields.
  void Store();
  // One past the highest sector allocated since the file was opened.
  uint32_t End() const { return end_; }

 private:
  uint32_t PerSector() const { return file_.SectorSize() / 4; }
  void Grow();
  void AddDifatEntry(uint32_t fatSector);

  SectorFile& file_;
  Header& header_;
  std::vector<uint32_t> fatSectors_;
  std::vector<uint32_t> difatSectors_;
  AllocationTable table_;
  size_t difatDirtyFrom_ = SIZE_MAX;  // the first DIFAT sector to write again
  uint32_t end_ = 0;
  uint32_t rangeLock_;   // the sector holding kRangeLockOffset
  uint32_t maxSectors_;  // sector numbers must stay below this
};

}  // namespace slv2::cfb
