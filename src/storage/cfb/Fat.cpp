#include "storage/cfb/Fat.h"

#include <algorithm>

#include "storage/cfb/Error.h"

namespace slv2::cfb {

namespace {
// 1 MiB of the FAT in memory: it maps 128 MiB of a version 3 file, 1 GiB of a
// version 4 one.
constexpr size_t kWindowBytes = 1 << 20;
}  // namespace

Fat::Fat(SectorFile& file, Header& header)
    : file_(file),
      header_(header),
      table_(file, fatSectors_, kWindowBytes),
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
  if (!writable) return;
  table_.CountFree();
  auto claim = [&](uint32_t sector, uint32_t marker) {
    if (sector >= table_.Size()) Corrupt("FAT does not cover its own sectors");
    if (table_.Get(sector) == kFreeSect) table_.Set(sector, marker);
  };
  for (uint32_t sector : fatSectors_)
    claim(sector, kFatSect);
  for (uint32_t sector : difatSectors_)
    claim(sector, kDifSect);
}

void Fat::Create() {
  table_.CountFree();
}

uint32_t Fat::Limit() {
  uint32_t inFile = std::max(file_.SectorsAtOpen(), end_);
  return static_cast<uint32_t>(std::min<uint64_t>(table_.Size(), inFile));
}

uint32_t Fat::Next(uint32_t sector) {
  if (sector >= table_.Size()) Corrupt("chain leaves the allocation table");
  return table_.Get(sector);
}

uint32_t Fat::Allocate() {
  for (;;) {
    uint64_t sector = table_.FindFree(maxSectors_);
    if (sector == std::min<uint64_t>(maxSectors_, table_.Size())) {
      Grow();
      continue;
    }
    // Reserved for locking by other implementations: allocated, empty.
    table_.Set(sector, kEndOfChain);
    if (sector == rangeLock_) continue;
    end_ = std::max(end_, static_cast<uint32_t>(sector + 1));
    return static_cast<uint32_t>(sector);
  }
}

void Fat::AddDifatEntry(uint32_t fatSector) {
  size_t slot = fatSectors_.size();
  fatSectors_.push_back(fatSector);
  table_.Append();
  if (slot < kHeaderDifatSlots) return;
  size_t difat = (slot - kHeaderDifatSlots) / (PerSector() - 1);
  difatDirtyFrom_ = std::min(difatDirtyFrom_, difat);
}

void Fat::Grow() {
  uint32_t per = PerSector();
  uint64_t first = table_.Size();
  // Room for a new FAT sector, a DIFAT sector and some data.
  if (first + 3 > maxSectors_) Fail(stg::kStgEDocFileTooLarge, "the file would be too large");
  // An eighth more FAT sectors (1 to 256 of them) at the start of the range
  // they add, with the DIFAT sectors that list them.
  uint64_t add = std::clamp<uint64_t>(fatSectors_.size() / 8, 1, 256);
  add = std::min<uint64_t>(add, (maxSectors_ - first + per - 1) / per);
  uint64_t total = fatSectors_.size() + add;
  uint64_t difatNeeded =
      total <= kHeaderDifatSlots ? 0 : (total - kHeaderDifatSlots + per - 2) / (per - 1);
  uint64_t next = first;
  auto take = [&] {
    if (next == rangeLock_) ++next;
    return static_cast<uint32_t>(next++);
  };
  std::vector<uint32_t> fat, difat;
  for (uint64_t i = 0; i < add; ++i)
    fat.push_back(take());
  for (uint64_t i = difatSectors_.size(); i < difatNeeded; ++i)
    difat.push_back(take());
  for (uint32_t sector : fat)
    AddDifatEntry(sector);
  for (uint32_t sector : fat)
    table_.Set(sector, kFatSect);
  for (uint32_t sector : difat) {
    if (!difatSectors_.empty())
      difatDirtyFrom_ = std::min(difatDirtyFrom_, difatSectors_.size() - 1);
    difatDirtyFrom_ = std::min(difatDirtyFrom_, difatSectors_.size());
    difatSectors_.push_back(sector);
    table_.Set(sector, kDifSect);
  }
  end_ = std::max(end_, static_cast<uint32_t>(next));
}

void Fat::Store() {
  table_.Store();
  uint32_t per = PerSector();
  for (uint32_t i = 0; i < kHeaderDifatSlots; ++i)
    header_.difat[i] = i < fatSectors_.size() ? fatSectors_[i] : kFreeSect;
  std::vector<uint8_t> raw(file_.SectorSize());
  for (size_t d = difatDirtyFrom_; d < difatSectors_.size(); ++d) {
    for (uint32_t i = 0; i < per - 1; ++i) {
      size_t index = kHeaderDifatSlots + d * (per - 1) + i;
      Store32(&raw[4 * i], index < fatSectors_.size() ? fatSectors_[index] : kFreeSect);
    }
    bool last = d + 1 == difatSectors_.size();
    Store32(&raw[4 * (per - 1)], last ? kEndOfChain : difatSectors_[d + 1]);
    file_.WriteStructure(difatSectors_[d], 0, raw.data(), raw.size());
  }
  difatDirtyFrom_ = SIZE_MAX;
  header_.numFatSectors = static_cast<uint32_t>(fatSectors_.size());
  header_.firstDifatSector = difatSectors_.empty() ? kEndOfChain : difatSectors_[0];
  header_.numDifatSectors = static_cast<uint32_t>(difatSectors_.size());
}

}  // namespace slv2::cfb
