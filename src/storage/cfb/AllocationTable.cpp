#include "storage/cfb/AllocationTable.h"

#include <algorithm>
#include <bit>

#include "storage/cfb/Format.h"

namespace slv2::cfb {

namespace {
// Consecutive changed sectors are written together in pieces of up to this.
constexpr size_t kMostRun = 256 * 1024;
}  // namespace

AllocationTable::AllocationTable(SectorFile& file, std::vector<uint32_t>& sectors,
                                 size_t windowBytes)
    : file_(file),
      sectors_(sectors),
      per_(file.SectorSize() / 4),
      perShift_(static_cast<uint32_t>(std::countr_zero(per_))),
      // A power of two of slots, so that a sector's slot is a mask away.
      slots_(std::bit_floor(std::max<size_t>(8, windowBytes / file.SectorSize()))),
      raw_(file.SectorSize()) {}

uint32_t* AllocationTable::Fetch(uint64_t index) {
  uint64_t sector = index >> perShift_;
  Slot& slot = SlotFor(sector);
  if (slot.sector == sector) return slot.entries.data();
  // The table is mostly walked in order: the sectors after this one that
  // follow it in the file come in the same read, into their own slots.
  uint32_t size = file_.SectorSize();
  uint32_t first = sectors_[sector];
  uint64_t run = 1;
  while (run < std::min<uint64_t>(kMostRun / size, slots_.size()) &&
         sector + run < sectors_.size() && sectors_[sector + run] == first + run &&
         first + run < file_.SectorsHeld() && !SlotFor(sector + run).dirty) {
    ++run;
  }
  // Changed sectors leave together, in runs: one write for many.
  if (slot.dirty) Store();
  raw_.resize(run * size);
  file_.Read(first, 0, raw_.data(), raw_.size());
  for (uint64_t k = 0; k < run; ++k) {
    Slot& into = SlotFor(sector + k);
    into.entries.resize(per_);
    for (uint32_t i = 0; i < per_; ++i)
      into.entries[i] = Load32(&raw_[k * size + 4 * i]);
    into.sector = sector + k;
  }
  return slot.entries.data();
}

void AllocationTable::Set(uint64_t index, uint32_t value) {
  uint32_t& entry = Fetch(index)[index & (per_ - 1)];
  if (entry == value) return;
  if (counting_) {
    uint16_t& free = free_[index >> perShift_];
    if (entry == kFreeSect) --free;
    if (value == kFreeSect) ++free;
  }
  entry = value;
  SlotFor(index >> perShift_).dirty = true;
}

void AllocationTable::CountFree() {
  free_.assign(sectors_.size(), 0);
  for (uint64_t sector = 0; sector < sectors_.size(); ++sector) {
    const uint32_t* entries = Fetch(sector << perShift_);
    free_[sector] = static_cast<uint16_t>(std::count(entries, entries + per_, kFreeSect));
  }
  counting_ = true;
}

uint64_t AllocationTable::FindFree(uint64_t end) {
  end = std::min(end, Size());
  for (uint64_t at = hint_; at < end;) {
    uint64_t sector = at >> perShift_;
    uint64_t next = (sector + 1) << perShift_;
    if (free_[sector] != 0) {
      const uint32_t* entries = Fetch(at);
      for (uint64_t stop = std::min(next, end); at < stop; ++at) {
        if (entries[at & (per_ - 1)] == kFreeSect) return hint_ = at;
      }
    }
    at = next;
  }
  hint_ = end;
  return end;
}

void AllocationTable::Free(uint64_t index) {
  Set(index, kFreeSect);
  hint_ = std::min(hint_, index);
}

void AllocationTable::Append() {
  uint64_t sector = sectors_.size() - 1;
  Slot& slot = SlotFor(sector);
  if (slot.dirty) Store();
  slot.entries.assign(per_, kFreeSect);
  slot.sector = sector;
  slot.dirty = true;
  if (counting_) free_.push_back(static_cast<uint16_t>(per_));
}

void AllocationTable::Store() {
  std::vector<Slot*> dirty;
  for (Slot& slot : slots_) {
    if (slot.dirty) dirty.push_back(&slot);
  }
  std::sort(dirty.begin(), dirty.end(), [&](const Slot* a, const Slot* b) {
    return sectors_[a->sector] < sectors_[b->sector];
  });
  uint32_t size = file_.SectorSize();
  for (size_t i = 0; i < dirty.size();) {
    size_t run = 1;
    uint32_t first = sectors_[dirty[i]->sector];
    while (i + run < dirty.size() && sectors_[dirty[i + run]->sector] == first + run &&
           (run + 1) * size <= kMostRun) {
      ++run;
    }
    raw_.resize(run * size);
    for (size_t k = 0; k < run; ++k) {
      Slot& slot = *dirty[i + k];
      for (uint32_t e = 0; e < per_; ++e)
        Store32(&raw_[k * size + 4 * e], slot.entries[e]);
      slot.dirty = false;
    }
    file_.WriteStructure(first, 0, raw_.data(), raw_.size());
    i += run;
  }
}

}  // namespace slv2::cfb
