#include "storage/cfb/MiniStream.h"

#include <algorithm>

#include "storage/cfb/Error.h"

namespace slv2::cfb {

namespace {
// 1 MiB of the mini FAT in memory: it maps 16 MiB of small streams.
constexpr size_t kWindowBytes = 1 << 20;
constexpr uint64_t kMostGrowth = 1 << 20;
}  // namespace

MiniStream::MiniStream(SectorFile& file, Fat& fat, Header& header, Directory& directory)
    : file_(file),
      fat_(fat),
      header_(header),
      directory_(directory),
      table_(file, fatChain_, kWindowBytes) {}

void MiniStream::Load(bool writable, Claims& claims) {
  writable_ = writable;
  const DirEntry& root = directory_.At(0);
  // The mini FAT is what its chain links; the header's count of its sectors
  // is not needed (and is put right when the file is written).
  bool noFat = header_.firstMiniFatSector == kEndOfChain || header_.firstMiniFatSector == kFreeSect;
  std::vector<uint32_t> chain;
  if (!noFat) {
    ClaimWholeChain(fat_, header_.firstMiniFatSector, claims, writable,
                    [&](uint32_t sector) { chain.push_back(sector); });
  }
  uint32_t start = root.size == 0 ? kEndOfChain : root.start;
  uint64_t length = UnitsFor(root.size, file_.Shift());
  if (writable) {
    // All of the container, which may be longer than its size.
    uint64_t whole = start == kEndOfChain ? 0 : ClaimWholeChain(fat_, start, claims, true);
    if (whole < length) Corrupt("mini stream shorter than its size");
    container_ = Chain::Checked(fat_, start, whole, nullptr);
  } else {
    container_ = Chain::Checked(fat_, start, length, &claims);
  }
  fatChain_ = std::move(chain);
  chainChanged_ = writable && header_.numMiniFatSectors != fatChain_.size();
  if (writable) table_.CountFree();
  loaded_ = true;
  claims_.assign(writable ? 0 : Limit(), false);
}

void MiniStream::Create() {
  writable_ = true;
  container_.emplace(fat_);
  table_.CountFree();
  loaded_ = true;
}

void MiniStream::EnsureLoaded() {
  if (!loaded_) Fail(stg::kStgEDocFileCorrupt, "mini stream not loaded");
}

const std::vector<uint32_t>& MiniStream::FatChain() {
  EnsureLoaded();
  return fatChain_;
}

Chain& MiniStream::Container() {
  EnsureLoaded();
  return *container_;
}

Claims& MiniStream::MiniClaims() {
  EnsureLoaded();
  return claims_;
}

uint32_t MiniStream::Limit() {
  EnsureLoaded();
  uint64_t inContainer = (container_->Length() << file_.Shift()) >> kMiniSectorShift;
  return static_cast<uint32_t>(std::min(table_.Size(), inContainer));
}

uint32_t MiniStream::Next(uint32_t unit) {
  if (unit >= table_.Size()) Corrupt("chain leaves the mini FAT");
  return table_.Get(unit);
}

void MiniStream::Transfer(uint64_t at, uint8_t* buffer, size_t count, bool write) {
  uint32_t shift = file_.Shift();
  uint64_t mask = (uint64_t{1} << shift) - 1;
  for (size_t done = 0; done < count;) {
    uint64_t within = (at + done) & mask;
    uint64_t run;
    uint32_t sector =
        container_->At((at + done) >> shift, UnitsFor(within + count - done, shift), &run);
    size_t piece = static_cast<size_t>(std::min<uint64_t>(count - done, (run << shift) - within));
    if (write) {
      file_.Write(sector, static_cast<uint32_t>(within), buffer + done, piece);
    } else {
      file_.Read(sector, static_cast<uint32_t>(within), buffer + done, piece);
    }
    done += piece;
  }
}

void MiniStream::Read(uint32_t unit, uint32_t offset, void* buffer, size_t count) {
  Transfer((uint64_t{unit} << kMiniSectorShift) + offset, static_cast<uint8_t*>(buffer), count,
           false);
}

void MiniStream::Write(uint32_t unit, uint32_t offset, const void* buffer, size_t count) {
  Transfer((uint64_t{unit} << kMiniSectorShift) + offset,
           static_cast<uint8_t*>(const_cast<void*>(buffer)), count, true);
}

uint32_t MiniStream::Allocate() {
  EnsureLoaded();
  uint32_t shift = file_.Shift();
  Chain& container = *container_;
  DirEntry& root = directory_.At(0);
  for (;;) {
    // Units readers see: inside the root's size and mapped by the mini FAT.
    uint64_t limit = std::min(table_.Size(), root.size >> kMiniSectorShift);
    uint64_t unit = table_.FindFree(limit);
    if (unit < limit) {
      table_.Set(unit, kEndOfChain);
      return static_cast<uint32_t>(unit);
    }
    // The root's size takes in the whole container, grown first when it has
    // no sectors to spare, and the mini FAT maps all of it.
    if (container.Length() << shift <= root.size) {
      uint64_t growth = std::clamp<uint64_t>(container.Length() / 8, 1, kMostGrowth >> shift);
      container.Resize(container.Length() + growth);
    }
    root.start = container.Start();
    root.size = container.Length() << shift;
    directory_.Touch(0);
    while (table_.Size() < root.size >> kMiniSectorShift) {
      uint32_t sector = fat_.Allocate();
      if (!fatChain_.empty()) fat_.Link(fatChain_.back(), sector);
      fatChain_.push_back(sector);
      table_.Append();
      chainChanged_ = true;
    }
  }
}

void MiniStream::Store() {
  if (!loaded_ || !writable_) return;
  table_.Store();
  if (!chainChanged_) return;
  header_.firstMiniFatSector = fatChain_.empty() ? kEndOfChain : fatChain_[0];
  header_.numMiniFatSectors = static_cast<uint32_t>(fatChain_.size());
  chainChanged_ = false;
}

}  // namespace slv2::cfb
