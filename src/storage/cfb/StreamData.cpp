#include "storage/cfb/StreamData.h"

#include <algorithm>
#include <vector>

#include "storage/cfb/CompoundFile.h"
#include "storage/cfb/Error.h"

namespace slv2::cfb {

StreamData::StreamData(CompoundFile& file, uint32_t entry)
    : file_(file),
      entry_(entry),
      size_(file.dir_->At(entry).size),
      mini_(size_ < kMiniStreamCutoff),
      chain_(*file.fat_) {
  if (size_ == 0) {
    if (file_.Writable()) chain_ = Chain(Table(mini_));
    return;
  }
  uint32_t start = file_.dir_->At(entry).start;
  if (file_.Writable()) {
    // The whole chain, so that resizing frees every sector the stream holds.
    chain_ = Chain::Whole(Table(mini_), start);
    if (chain_.Length() < UnitsFor(size_, UnitShift())) Corrupt("stream shorter than its size");
  } else {
    // A stream read before is known to be sound; its sectors stay claimed.
    Claims* claims = nullptr;
    if (file_.checked_.insert(entry).second)
      claims = mini_ ? &file_.Mini().MiniClaims() : &file_.claims_;
    try {
      chain_ = Chain::Checked(Table(mini_), start, UnitsFor(size_, UnitShift()), claims);
    } catch (...) {
      file_.checked_.erase(entry);
      throw;
    }
  }
}

uint32_t StreamData::UnitShift() const {
  return mini_ ? kMiniSectorShift : file_.sectors_->Shift();
}

LinkTable& StreamData::Table(bool mini) const {
  return mini ? static_cast<LinkTable&>(file_.Mini()) : *file_.fat_;
}

void StreamData::Transfer(uint64_t position, uint8_t* buffer, size_t count, bool write) {
  uint32_t shift = UnitShift();
  uint64_t mask = (uint64_t{1} << shift) - 1;
  for (size_t done = 0; done < count;) {
    uint64_t at = position + done;
    uint32_t offset = static_cast<uint32_t>(at & mask);
    uint64_t run;
    uint32_t unit = chain_.At(at >> shift, UnitsFor(offset + (count - done), shift), &run);
    size_t piece = static_cast<size_t>(std::min<uint64_t>(count - done, (run << shift) - offset));
    if (mini_) {
      write ? file_.Mini().Write(unit, offset, buffer + done, piece)
            : file_.Mini().Read(unit, offset, buffer + done, piece);
    } else {
      write ? file_.sectors_->Write(unit, offset, buffer + done, piece)
            : file_.sectors_->Read(unit, offset, buffer + done, piece);
    }
    done += piece;
  }
}

void StreamData::Zero(uint64_t from, uint64_t to) {
  if (from >= to) return;
  if (mini_) {
    std::vector<uint8_t> zeros(static_cast<size_t>(to - from));
    Transfer(from, zeros.data(), zeros.size(), true);
    return;
  }
  uint32_t shift = file_.sectors_->Shift();
  uint64_t mask = (uint64_t{1} << shift) - 1;
  for (uint64_t at = from; at < to;) {
    uint32_t offset = static_cast<uint32_t>(at & mask);
    uint64_t run;
    uint32_t sector = chain_.At(at >> shift, UnitsFor(offset + (to - at), shift), &run);
    uint64_t piece = std::min(to - at, (run << shift) - offset);
    file_.sectors_->Zero(sector, offset, static_cast<size_t>(piece));
    at += piece;
  }
}

size_t StreamData::Read(uint64_t position, void* buffer, size_t count) {
  if (position >= size_) return 0;
  size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - position));
  Transfer(position, static_cast<uint8_t*>(buffer), n, false);
  return n;
}

void StreamData::Write(uint64_t position, const void* buffer, size_t count) {
  if (count == 0) return;
  if (position > kMaxStreamSize || count > kMaxStreamSize - position)
    Fail(stg::kStgEDocFileTooLarge, "stream too large");
  uint64_t end = position + count;
  if (end > size_) Resize(end, position);
  Transfer(position, static_cast<uint8_t*>(const_cast<void*>(buffer)), count, true);
}

void StreamData::SetSize(uint64_t size) {
  if (size != size_) Resize(size, size);
}

void StreamData::Resize(uint64_t size, uint64_t dataFrom) {
  if (size > kMaxStreamSize || size > file_.fat_->Capacity())
    Fail(stg::kStgEDocFileTooLarge, "stream too large");
  uint64_t old = size_;
  bool mini = size < kMiniStreamCutoff;
  if (mini == mini_) {
    chain_.Resize(UnitsFor(size, UnitShift()));
    size_ = size;
    Zero(old, std::min(dataFrom, size));
  } else {
    // Across the cutoff: the kept bytes (under 4 KiB on either side) move to
    // a new chain, which is complete before the old one is freed.
    uint64_t keep = std::min(old, size);
    std::vector<uint8_t> content(static_cast<size_t>(keep));
    Transfer(0, content.data(), content.size(), false);
    Chain fresh(Table(mini));
    fresh.Resize(UnitsFor(size, mini ? kMiniSectorShift : file_.sectors_->Shift()));
    std::swap(chain_, fresh);
    mini_ = mini;
    size_ = size;
    Transfer(0, content.data(), content.size(), true);
    Zero(keep, std::min(dataFrom, size));
    fresh.Resize(0);
  }
  DirEntry& e = file_.dir_->At(entry_);
  e.start = chain_.Start();
  e.size = size_;
  file_.dir_->Touch(entry_);
}

}  // namespace slv2::cfb
