#include "storage/cfb/Chain.h"

#include <algorithm>

#include "storage/cfb/Error.h"
#include "storage/cfb/Format.h"

namespace slv2::cfb {

namespace {

void Claim(Claims& claims, uint32_t unit) {
  if (unit >= claims.size()) Corrupt("chain leaves the file");
  if (claims[unit]) Corrupt("chain loops or shares sectors with another");
  claims[unit] = true;
}

}  // namespace

uint64_t ClaimWholeChain(LinkTable& table, uint32_t start, Claims& claims, bool strict,
                         const std::function<void(uint32_t)>& visit) {
  uint64_t length = 0;
  for (uint32_t unit = start; unit != kEndOfChain; ++length) {
    if (!strict && unit == kFreeSect) break;
    if (unit >= table.Limit()) Corrupt("chain leaves the file");
    Claim(claims, unit);
    if (visit) visit(unit);
    unit = table.Next(unit);
  }
  return length;
}

Chain Chain::Checked(LinkTable& table, uint32_t start, uint64_t length, Claims* claims) {
  Chain chain(table);
  if (length == 0) return chain;
  if (length > table.Limit()) Corrupt("chain longer than the file");
  if (start >= table.Limit()) Corrupt("chain starts outside the file");
  if (claims) Claim(*claims, start);
  chain.Begin(start);
  chain.length_ = length;
  while (chain.at_ + 1 < length)
    chain.Advance(claims);
  return chain;
}

Chain Chain::Whole(LinkTable& table, uint32_t start) {
  Chain chain(table);
  if (start == kEndOfChain) return chain;
  if (start >= table.Limit()) Corrupt("chain starts outside the file");
  chain.Begin(start);
  // Checked when the file was opened; the limit only guards against a loop.
  for (uint32_t limit = table.Limit(); table.Next(chain.unit_) != kEndOfChain;) {
    if (chain.at_ + 1 >= limit) Corrupt("chain loops");
    chain.Advance();
  }
  chain.length_ = chain.at_ + 1;
  return chain;
}

uint32_t Chain::Start() const {
  return length_ == 0 ? kEndOfChain : marks_[0];
}

void Chain::Begin(uint32_t start) {
  marks_.assign(1, start);
  at_ = 0;
  unit_ = start;
  length_ = 1;
}

void Chain::Mark(uint64_t index, uint32_t unit) {
  if (index % kStride == 0 && index / kStride == marks_.size()) marks_.push_back(unit);
}

void Chain::Advance(Claims* claims) {
  uint32_t next = table_->Next(unit_);
  if (next >= table_->Limit()) Corrupt("chain ends early or leaves the file");
  if (claims) Claim(*claims, next);
  unit_ = next;
  Mark(++at_, unit_);
}

void Chain::MoveTo(uint64_t index) {
  uint64_t mark = std::min<uint64_t>(index / kStride, marks_.size() - 1);
  if (index < at_ || mark * kStride > at_) {
    at_ = mark * kStride;
    unit_ = marks_[mark];
  }
  while (at_ < index)
    Advance();
}

uint32_t Chain::At(uint64_t index, uint64_t most, uint64_t* run) {
  if (index >= length_) Corrupt("position past the end of the chain");
  MoveTo(index);
  uint32_t first = unit_;
  uint64_t n = 1;
  while (n < most && at_ + 1 < length_) {
    Advance();
    if (unit_ != first + n) break;
    ++n;
  }
  *run = n;
  return first;
}

void Chain::Resize(uint64_t length) {
  if (length < length_) {
    uint32_t victim;
    if (length == 0) {
      victim = marks_[0];
    } else {
      MoveTo(length - 1);
      victim = table_->Next(unit_);
      table_->Link(unit_, kEndOfChain);
    }
    for (uint64_t i = length; i < length_; ++i) {
      uint32_t next = i + 1 < length_ ? table_->Next(victim) : kEndOfChain;
      table_->Release(victim);
      victim = next;
    }
    length_ = length;
    marks_.resize(length == 0 ? 0 : (length - 1) / kStride + 1);
    if (length == 0) {
      at_ = 0;
    } else if (at_ >= length) {
      at_ = 0;
      unit_ = marks_[0];
    }
    return;
  }
  uint64_t before = length_;
  if (before > 0) MoveTo(before - 1);
  try {
    while (length_ < length) {
      uint32_t unit = table_->Allocate();
      if (length_ == 0) {
        Begin(unit);
        continue;
      }
      table_->Link(unit_, unit);
      unit_ = unit;
      at_ = length_++;
      Mark(at_, unit_);
    }
  } catch (...) {
    Resize(before);
    throw;
  }
}

}  // namespace slv2::cfb
