// A table of 32-bit links kept in a list of sectors (the FAT, the mini FAT),
// seen through a window: a fixed number of its sectors held in memory,
// direct-mapped by their place in the table, changed ones written back all
// together, in runs of consecutive sectors, when one of them has to leave the
// window or on Store. Memory stays the same whatever the size
// of the table. A table about to change also counts the free entries of each
// of its sectors, so that searching for free entries skips full sectors
// without reading them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/cfb/SectorFile.h"

namespace slv2::cfb {

class AllocationTable {
 public:
  // `sectors` lists where the table's sectors are; it belongs to the caller,
  // who appends to it through Append only.
  AllocationTable(SectorFile& file, std::vector<uint32_t>& sectors, size_t windowBytes);
  AllocationTable(const AllocationTable&) = delete;
  AllocationTable& operator=(const AllocationTable&) = delete;

  uint32_t PerSector() const { return per_; }
  uint64_t Size() const { return uint64_t{sectors_.size()} * per_; }

  uint32_t Get(uint64_t index) { return Fetch(index)[index & (per_ - 1)]; }
  void Set(uint64_t index, uint32_t value);

  // Reads every sector once to count its free entries; from then on the
  // counts are kept and FindFree works.
  void CountFree();
  // The first FREESECT entry below `end`, searched from where the last
  // search stopped or the lowest entry freed since; `end` when none is.
  uint64_t FindFree(uint64_t end);
  void Free(uint64_t index);

  // The table grows by the sector just appended to the list; its entries
  // are all FREESECT (they are not read from the file).
  void Append();
  // Writes every changed sector.
  void Store();

 private:
  struct Slot {
    uint64_t sector = UINT64_MAX;  // place in the table, UINT64_MAX: empty
    bool dirty = false;
    std::vector<uint32_t> entries;
  };
  // The entries of the table sector holding `index`.
  uint32_t* Fetch(uint64_t index);
  Slot& SlotFor(uint64_t sector) { return slots_[sector & (slots_.size() - 1)]; }

  SectorFile& file_;
  std::vector<uint32_t>& sectors_;
  uint32_t per_;
  uint32_t perShift_;
  std::vector<Slot> slots_;
  std::vector<uint8_t> raw_;    // one sector as stored
  std::vector<uint16_t> free_;  // per sector, once counted
  bool counting_ = false;
  uint64_t hint_ = 0;
};

}  // namespace slv2::cfb
