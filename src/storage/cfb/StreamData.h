// The content of one stream element: its chain of sectors (regular sectors,
// or mini sectors while it is shorter than the cutoff) and its size. Reads,
// writes and resizing keep the chain, the allocation tables and the directory
// entry in step, and move the content between the mini stream and regular
// sectors when the size crosses the cutoff. Consecutive units move in one
// piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/cfb/Chain.h"

namespace slv2::cfb {

class CompoundFile;

class StreamData {
 public:
  // Walks the chain once, checked against the size: a chain that is too
  // short, loops, leaves the file or (in a file only read) crosses another is
  // corruption.
  StreamData(CompoundFile& file, uint32_t entry);

  uint64_t Size() const { return size_; }
  // Returns the bytes read: fewer than `count` at the end of the stream.
  size_t Read(uint64_t position, void* buffer, size_t count);
  // Extends the stream as needed; a gap before `position` reads as zeros.
  void Write(uint64_t position, const void* buffer, size_t count);
  // New bytes read as zeros. Sizes past 4 GiB - 1, or past what a version 3
  // file can hold, are STG_E_DOCFILETOOLARGE.
  void SetSize(uint64_t size);

 private:
  uint32_t UnitShift() const;
  LinkTable& Table(bool mini) const;
  void Transfer(uint64_t position, uint8_t* buffer, size_t count, bool write);
  void Zero(uint64_t from, uint64_t to);
  // Resizes; bytes from `dataFrom` on are about to be written and need no
  // zeros.
  void Resize(uint64_t size, uint64_t dataFrom);

  CompoundFile& file_;
  uint32_t entry_;
  uint64_t size_;
  bool mini_;
  Chain chain_;
};

}  // namespace slv2::cfb
