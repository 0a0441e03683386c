#include "storage/cfb/Fat.h"

#include <algorithm>

#include "storage/cfb/Chain.h"
#include "storage/cfb/Error.h"

namespace slv2::cfb {

Fat::Fat(SectorFile& file, Header& header)
    : file_(file),
      header_(header),
      rangeLock_(static_cast<uint32_t>((kRangeLockOffset >> file.Shift()) - 1)),
      // A file of 512-byte sectors must stay below 2 GB; one of 4096-byte
      // sectors may use every regular sector number.
      maxSectors_(file.Shift() == 9 ? rangeLock_ : kMaxRegSect + 1) {}

void Fat::Load(bool writable) {
  uint32_t per = PerSector();
  uint32_t available = file_.SectorsAtOpen();
  uint32_t count = header_.numFatSectors;
  if (count > available) Corrupt("more FAT sectors than the file holds");
  auto take = [&](uint32_t sector) {
    if (sector >= available) Corrupt("FAT sector outside the file");
    fatSectors_.push_back(sector);
  };
  fatSectors_.reserve(count);
  for (uint32_t i = 0; i < std::min(count, kHeaderDifatSlots); ++i)
    take(header_.difat[i]);
  std::vector<uint8_t> raw(file_.SectorSize());
  // The DIFAT chain is followed only as far as FAT sectors are missing; its
  // end marker (ENDOFCHAIN or FREESECT, writers differ) is not needed.
  for (uint32_t difat = header_.firstDifatSector; fatSectors_.size() < count;) {
    if (difat >= available) Corrupt("DIFAT ends early");
    difatSectors_.push_back(difat);
    file_.Read(difat, 0, raw.data(), raw.size());
    for (uint32_t i = 0; i < per - 1 && fatSectors_.size() < count; ++i)
      take(Load32(&raw[4 * i]));
    difat = Load32(&raw[4 * (per - 1)]);
  }
  std::vector<uint32_t> used(fatSectors_);
  used.insert(used.end(), difatSectors_.begin(), difatSectors_.end());
  std::sort(used.begin(), used.end());
  if (std::adjacent_find(used.begin(), used.end()) != used.end())
    Corrupt("FAT sector listed twice");

  table_.resize(static_cast<size_t>(count) * per);
  for (uint32_t k = 0; k < count; ++k) {
    file_.Read(fatSectors_[k], 0, raw.data(), raw.size());
    for (uint32_t i = 0; i < per; ++i)
      table_[size_t{k} * per + i] = Load32(&raw[4 * i]);
  }
  dirty_.assign(count, false);
  if (!writable) return;
  auto claim = [&](uint32_t sector, uint32_t marker) {
    if (sector >= table_.size()) Corrupt("FAT does not cover its own sectors");
    if (table_[sector] == kFreeSect) Set(sector, marker);
  };
  for (uint32_t sector : fatSectors_)
    claim(sector, kFatSect);
  for (uint32_t sector : difatSectors_)
    claim(sector, kDifSect);
}

uint32_t Fat::Limit() const {
  uint32_t inFile = std::max(file_.SectorsAtOpen(), end_);
  return static_cast<uint32_t>(std::min<size_t>(table_.size(), inFile));
}

std::vector<uint32_t> Fat::Chain(uint32_t start, uint64_t count) const {
  return WalkChain(table_, start, count, Limit());
}

std::vector<uint32_t> Fat::WholeChain(uint32_t start, bool strict) const {
  return WalkWholeChain(table_, start, Limit(), strict);
}

void Fat::Set(uint32_t sector, uint32_t value) {
  table_[sector] = value;
  dirty_[sector / PerSector()] = true;
}

uint32_t Fat::FindFree() {
  uint32_t end = static_cast<uint32_t>(std::min<size_t>(table_.size(), maxSectors_));
  for (uint32_t s = freeHint_; s < end; ++s) {
    if (table_[s] != kFreeSect) continue;
    if (s == rangeLock_) {
      // Reserved for locking by other implementations: allocated, empty.
      Set(s, kEndOfChain);
      continue;
    }
    freeHint_ = s;
    return s;
  }
  freeHint_ = end;
  return kFreeSect;
}

uint32_t Fat::Allocate() {
  uint32_t sector = FindFree();
  while (sector == kFreeSect) {
    Grow();
    sector = FindFree();
  }
  Set(sector, kEndOfChain);
  end_ = std::max(end_, sector + 1);
  return sector;
}

void Fat::Grow() {
  uint32_t per = PerSector();
  size_t first = table_.size();
  // Room for the new FAT sector, a DIFAT sector and some data.
  if (first + 3 > maxSectors_) Fail(stg::kStgEDocFileTooLarge, "the file would be too large");
  table_.resize(first + per, kFreeSect);
  dirty_.push_back(true);
  uint32_t fatSector = FindFree();
  Set(fatSector, kFatSect);
  end_ = std::max(end_, fatSector + 1);
  fatSectors_.push_back(fatSector);
  difatDirty_ = true;
  if (fatSectors_.size() <= kHeaderDifatSlots) return;
  size_t slots = fatSectors_.size() - kHeaderDifatSlots;
  if (slots <= difatSectors_.size() * (per - 1)) return;
  uint32_t difatSector = FindFree();
  Set(difatSector, kDifSect);
  end_ = std::max(end_, difatSector + 1);
  difatSectors_.push_back(difatSector);
}

void Fat::Resize(std::vector<uint32_t>& chain, size_t count) {
  if (count < chain.size()) {
    for (size_t i = count; i < chain.size(); ++i) {
      Set(chain[i], kFreeSect);
      freeHint_ = std::min(freeHint_, chain[i]);
    }
    chain.resize(count);
    if (!chain.empty()) Set(chain.back(), kEndOfChain);
    return;
  }
  // A failed growth gives back what it took, so the chain stays as it was.
  size_t before = chain.size();
  try {
    while (chain.size() < count) {
      uint32_t sector = Allocate();
      if (!chain.empty()) Set(chain.back(), sector);
      chain.push_back(sector);
    }
  } catch (...) {
    Resize(chain, before);
    throw;
  }
}

void Fat::Store() {
  uint32_t per = PerSector();
  std::vector<uint8_t> raw(file_.SectorSize());
  for (size_t k = 0; k < dirty_.size(); ++k) {
    if (!dirty_[k]) continue;
    for (uint32_t i = 0; i < per; ++i)
      Store32(&raw[4 * i], table_[k * per + i]);
    file_.Write(fatSectors_[k], 0, raw.data(), raw.size());
    dirty_[k] = false;
  }
  if (!difatDirty_) return;
  for (uint32_t i = 0; i < kHeaderDifatSlots; ++i)
    header_.difat[i] = i < fatSectors_.size() ? fatSectors_[i] : kFreeSect;
  for (size_t d = 0; d < difatSectors_.size(); ++d) {
    for (uint32_t i = 0; i < per - 1; ++i) {
      size_t index = kHeaderDifatSlots + d * (per - 1) + i;
      Store32(&raw[4 * i], index < fatSectors_.size() ? fatSectors_[index] : kFreeSect);
    }
    bool last = d + 1 == difatSectors_.size();
    Store32(&raw[4 * (per - 1)], last ? kEndOfChain : difatSectors_[d + 1]);
    file_.Write(difatSectors_[d], 0, raw.data(), raw.size());
  }
  header_.numFatSectors = static_cast<uint32_t>(fatSectors_.size());
  header_.firstDifatSector = difatSectors_.empty() ? kEndOfChain : difatSectors_[0];
  header_.numDifatSectors = static_cast<uint32_t>(difatSectors_.size());
  difatDirty_ = false;
}

}  // namespace slv2::cfb
