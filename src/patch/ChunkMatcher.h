// Finds, for one target chunk, the copies a delta block can take from its
// source chunk: long exact matches, found through hash chains over every
// position of the source chunk. What is not copied becomes literal data.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace slv2::diff {

// A copy of `length` bytes from offset `source` of the source chunk to offset
// `target` of the target chunk (both 0-based).
struct TCopy {
  uint32_t target;
  uint32_t source;
  uint32_t length;
};

class TChunkMatcher {
 public:
  // The shortest copy ever made: with it a chunk's commands always fit the
  // command buffer.
  static constexpr uint32_t kMinMatchFloor = 12;

  // Allocates the index for chunks of up to `chunkSize` bytes once.
  explicit TChunkMatcher(uint32_t chunkSize);

  // Indexes the source chunk for the following Match() calls; it must stay
  // in place until then.
  void SetSource(const uint8_t* source, uint32_t length);

  // Fills `copies` with the copies for `target`, in target order, not
  // overlapping, each at least `minMatch` (>= kMinMatchFloor) bytes long,
  // and `leaveExtra` bytes longer when it leaves the diagonal of the copy
  // before it.
  void Match(const uint8_t* target, uint32_t length, uint32_t minMatch, uint32_t leaveExtra,
             std::vector<TCopy>& copies) const;

 private:
  uint32_t chunkSize_;
  int hashBits_;
  const uint8_t* source_ = nullptr;
  uint32_t sourceLength_ = 0;
  std::unique_ptr<uint32_t[]> head_;  // hash -> last position + 1
  std::unique_ptr<uint32_t[]> prev_;  // position -> previous position + 1 of its hash
};

}  // namespace slv2::diff
