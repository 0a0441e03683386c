#include "storage/cfb/MiniStream.h"

#include <algorithm>

#include "storage/cfb/Chain.h"
#include "storage/cfb/Error.h"

namespace slv2::cfb {

MiniStream::MiniStream(SectorFile& file, Fat& fat, Header& header, Directory& directory)
    : file_(file), fat_(fat), header_(header), directory_(directory) {}

void MiniStream::Load(bool writable) {
  const DirEntry& root = directory_.At(0);
  uint32_t per = PerSector();
  // The mini FAT is what its chain links; the header's count of its sectors
  // is not needed (and is put right when the file is written).
  bool noFat = header_.firstMiniFatSector == kEndOfChain || header_.firstMiniFatSector == kFreeSect;
  fatChain_ =
      noFat ? std::vector<uint32_t>() : fat_.WholeChain(header_.firstMiniFatSector, writable);
  chainChanged_ = writable && header_.numMiniFatSectors != fatChain_.size();
  if (writable) {
    container_ = root.size == 0 ? std::vector<uint32_t>() : fat_.WholeChain(root.start, true);
    if (static_cast<uint64_t>(container_.size()) << file_.Shift() < root.size)
      Corrupt("mini stream shorter than its size");
  } else {
    container_ = fat_.Chain(root.start, UnitsFor(root.size, file_.Shift()));
  }
  table_.resize(fatChain_.size() * per);
  std::vector<uint8_t> raw(file_.SectorSize());
  for (size_t k = 0; k < fatChain_.size(); ++k) {
    file_.Read(fatChain_[k], 0, raw.data(), raw.size());
    for (uint32_t i = 0; i < per; ++i)
      table_[k * per + i] = Load32(&raw[4 * i]);
  }
  dirty_.assign(fatChain_.size(), false);
  loaded_ = true;
}

void MiniStream::Create() {
  loaded_ = true;
}

const std::vector<uint32_t>& MiniStream::FatChain() {
  EnsureLoaded();
  return fatChain_;
}

const std::vector<uint32_t>& MiniStream::Container() {
  EnsureLoaded();
  return container_;
}

uint32_t MiniStream::Limit() {
  EnsureLoaded();
  uint64_t inContainer =
      (static_cast<uint64_t>(container_.size()) << file_.Shift()) >> kMiniSectorShift;
  return static_cast<uint32_t>(std::min<uint64_t>(table_.size(), inContainer));
}

std::vector<uint32_t> MiniStream::Chain(uint32_t start, uint64_t count) {
  uint32_t limit = Limit();
  return WalkChain(table_, start, count, limit);
}

std::vector<uint32_t> MiniStream::WholeChain(uint32_t start) {
  uint32_t limit = Limit();
  return WalkWholeChain(table_, start, limit, true);
}

uint64_t MiniStream::ContainerOffset(uint32_t sector, uint32_t offset) const {
  return (static_cast<uint64_t>(sector) << kMiniSectorShift) + offset;
}

void MiniStream::Read(uint32_t sector, uint32_t offset, void* buffer, size_t count) {
  uint64_t at = ContainerOffset(sector, offset);
  file_.Read(container_[at >> file_.Shift()], at & (file_.SectorSize() - 1), buffer, count);
}

void MiniStream::Write(uint32_t sector, uint32_t offset, const void* buffer, size_t count) {
  uint64_t at = ContainerOffset(sector, offset);
  file_.Write(container_[at >> file_.Shift()], at & (file_.SectorSize() - 1), buffer, count);
}

void MiniStream::Set(uint32_t sector, uint32_t value) {
  table_[sector] = value;
  dirty_[sector / PerSector()] = true;
}

uint32_t MiniStream::Allocate() {
  uint32_t sector = freeHint_;
  while (sector < table_.size() && table_[sector] != kFreeSect)
    ++sector;
  if (sector == table_.size()) {
    fat_.Resize(fatChain_, dirty_.size() + 1);
    table_.resize(table_.size() + PerSector(), kFreeSect);
    dirty_.push_back(true);
    chainChanged_ = true;
  }
  // The container must reach the new sector; the root entry records its
  // start and a size that covers every mini sector in use.
  uint64_t end = ContainerOffset(sector + 1, 0);
  size_t sectors = static_cast<size_t>(UnitsFor(end, file_.Shift()));
  DirEntry& root = directory_.At(0);
  if (container_.size() < sectors) {
    fat_.Resize(container_, sectors);
    root.start = container_[0];
    directory_.Touch(0);
  }
  if (root.size < end) {
    root.size = end;
    directory_.Touch(0);
  }
  Set(sector, kEndOfChain);
  freeHint_ = sector + 1;
  return sector;
}

void MiniStream::Resize(std::vector<uint32_t>& chain, size_t count) {
  EnsureLoaded();
  if (count < chain.size()) {
    for (size_t i = count; i < chain.size(); ++i) {
      Set(chain[i], kFreeSect);
      freeHint_ = std::min(freeHint_, chain[i]);
    }
    chain.resize(count);
    if (!chain.empty()) Set(chain.back(), kEndOfChain);
    return;
  }
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

void MiniStream::Store() {
  if (!loaded_) return;
  uint32_t per = PerSector();
  std::vector<uint8_t> raw(file_.SectorSize());
  for (size_t k = 0; k < dirty_.size(); ++k) {
    if (!dirty_[k]) continue;
    for (uint32_t i = 0; i < per; ++i)
      Store32(&raw[4 * i], table_[k * per + i]);
    file_.Write(fatChain_[k], 0, raw.data(), raw.size());
    dirty_[k] = false;
  }
  if (!chainChanged_) return;
  header_.firstMiniFatSector = fatChain_.empty() ? kEndOfChain : fatChain_[0];
  header_.numMiniFatSectors = static_cast<uint32_t>(fatChain_.size());
  chainChanged_ = false;
}

}  // namespace slv2::cfb
