// Sector allocation: the FAT (one 32-bit link per sector) and the DIFAT that
// lists the FAT's own sectors (109 slots in the header, then a chain of DIFAT
// sectors). The table is read whole when the file is opened, bounded by the
// sectors the file holds, and written back sector by sector as it changes.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/cfb/Header.h"
#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class Fat {
 public:
  Fat(SectorFile& file, Header& header);

  // Reads the FAT sectors the header and the DIFAT list. For a file that will
  // be changed the FAT and DIFAT sectors must lie inside the table and get
  // their markers, so that they are never handed out.
  void Load(bool writable);

  uint32_t Shift() const { return file_.Shift(); }
  // The most bytes the file's sectors can ever hold (version 3: under 2 GB).
  uint64_t Capacity() const { return static_cast<uint64_t>(maxSectors_) << file_.Shift(); }
  // Sector numbers below this can belong to a chain.
  uint32_t Limit() const;
  const std::vector<uint32_t>& Table() const { return table_; }
  const std::vector<uint32_t>& FatSectors() const { return fatSectors_; }
  const std::vector<uint32_t>& DifatSectors() const { return difatSectors_; }

  std::vector<uint32_t> Chain(uint32_t start, uint64_t count) const;
  std::vector<uint32_t> WholeChain(uint32_t start, bool strict) const;

  // Makes `chain` `count` sectors long: new sectors come from free ones (the
  // table and the DIFAT grow when none is left), dropped ones become free.
  // Raises STG_E_DOCFILETOOLARGE when a version 3 file would pass 2 GB.
  void Resize(std::vector<uint32_t>& chain, size_t count);

  // Writes the changed FAT and DIFAT sectors and fills in the header's fields.
  void Store();
  // One past the highest sector allocated since the file was opened.
  uint32_t End() const { return end_; }

 private:
  uint32_t PerSector() const { return file_.SectorSize() / 4; }
  void Set(uint32_t sector, uint32_t value);
  uint32_t FindFree();
  uint32_t Allocate();
  void Grow();

  SectorFile& file_;
  Header& header_;
  std::vector<uint32_t> table_;
  std::vector<uint32_t> fatSectors_;
  std::vector<uint32_t> difatSectors_;
  std::vector<bool> dirty_;  // per FAT sector
  bool difatDirty_ = false;
  uint32_t freeHint_ = 0;
  uint32_t end_ = 0;
  uint32_t rangeLock_;   // the sector holding kRangeLockOffset
  uint32_t maxSectors_;  // sector numbers must stay below this
};

}  // namespace slv2::cfb
