#include "storage/cfb/StreamData.h"

#include <algorithm>

#include "storage/cfb/CompoundFile.h"
#include "storage/cfb/Error.h"

namespace slv2::cfb {

StreamData::StreamData(CompoundFile& file, uint32_t entry) : file_(file), entry_(entry) {
  const DirEntry& e = file_.dir_->At(entry);
  size_ = e.size;
  mini_ = size_ < kMiniStreamCutoff;
  if (size_ == 0) return;
  uint64_t needed = UnitsFor(size_, UnitShift());
  if (file_.Writable()) {
    // Whole chains, so that resizing frees every sector the stream holds.
    chain_ = mini_ ? file_.mini_->WholeChain(e.start) : file_.fat_->WholeChain(e.start, true);
    if (chain_.size() < needed) Corrupt("stream shorter than its size");
  } else {
    chain_ = mini_ ? file_.mini_->Chain(e.start, needed) : file_.fat_->Chain(e.start, needed);
  }
}

uint32_t StreamData::UnitShift() const {
  return mini_ ? kMiniSectorShift : file_.sectors_->Shift();
}

void StreamData::Transfer(uint64_t position, uint8_t* buffer, size_t count, bool write) {
  uint32_t shift = UnitShift();
  uint64_t unit = uint64_t{1} << shift;
  for (size_t done = 0; done < count;) {
    uint64_t at = position + done;
    size_t index = static_cast<size_t>(at >> shift);
    uint32_t offset = static_cast<uint32_t>(at & (unit - 1));
    // Consecutive sectors move in one piece.
    size_t run = 1;
    while (!mini_ && index + run < chain_.size() && chain_[index + run] == chain_[index] + run &&
           (run << shift) - offset < count - done) {
      ++run;
    }
    size_t piece = static_cast<size_t>(std::min<uint64_t>(count - done, (run << shift) - offset));
    uint32_t sector = chain_[index];
    if (mini_) {
      write ? file_.mini_->Write(sector, offset, buffer + done, piece)
            : file_.mini_->Read(sector, offset, buffer + done, piece);
    } else {
      write ? file_.sectors_->Write(sector, offset, buffer + done, piece)
            : file_.sectors_->Read(sector, offset, buffer + done, piece);
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
  uint64_t unit = uint64_t{1} << shift;
  for (uint64_t at = from; at < to;) {
    uint32_t offset = static_cast<uint32_t>(at & (unit - 1));
    uint64_t piece = std::min(to - at, unit - offset);
    file_.sectors_->Zero(chain_[static_cast<size_t>(at >> shift)], offset,
                         static_cast<size_t>(piece));
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

void StreamData::ResizeChain(std::vector<uint32_t>& chain, bool mini, uint64_t size) {
  uint32_t shift = mini ? kMiniSectorShift : file_.sectors_->Shift();
  size_t count = static_cast<size_t>(UnitsFor(size, shift));
  if (mini) {
    file_.mini_->Resize(chain, count);
  } else {
    file_.fat_->Resize(chain, count);
  }
}

void StreamData::Resize(uint64_t size, uint64_t dataFrom) {
  if (size > kMaxStreamSize || size > file_.fat_->Capacity())
    Fail(stg::kStgEDocFileTooLarge, "stream too large");
  uint64_t old = size_;
  bool mini = size < kMiniStreamCutoff;
  if (mini == mini_) {
    ResizeChain(chain_, mini_, size);
    size_ = size;
    Zero(old, std::min(dataFrom, size));
  } else {
    // Across the cutoff: the kept bytes (under 4 KiB on either side) move to
    // a new chain, which is complete before the old one is freed.
    uint64_t keep = std::min(old, size);
    std::vector<uint8_t> content(static_cast<size_t>(keep));
    Transfer(0, content.data(), content.size(), false);
    std::vector<uint32_t> fresh;
    ResizeChain(fresh, mini, size);
    std::swap(chain_, fresh);
    mini_ = mini;
    size_ = size;
    Transfer(0, content.data(), content.size(), true);
    Zero(keep, std::min(dataFrom, size));
    ResizeChain(fresh, !mini, 0);
  }
  DirEntry& e = file_.dir_->At(entry_);
  e.start = chain_.empty() ? kEndOfChain : chain_[0];
  e.size = size_;
  file_.dir_->Touch(entry_);
}

}  // namespace slv2::cfb
