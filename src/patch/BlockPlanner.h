// Chooses what the encoder's next block covers. The format consumes the old
// file front to back and lets a delta block copy only from its own source
// chunk, so each block picks how much of the new file it rebuilds and which
// stretch of the old file serves as its source chunk. The choice follows the
// heaviest chain of matches, over a lookahead of both files, whose old
// positions only grow: old data that later parts of the new file need is
// not skipped for a match that moved, and content that was inserted or
// deleted shifts the stretch accordingly.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace slv2::diff {

// The next block: the first `targetLength` bytes of the new data, rebuilt from
// the old bytes [sourceStart, sourceEnd) of the old window; the old bytes in
// front of sourceStart are skipped. An empty source range means that nothing
// of the old window is worth consuming for this target.
struct TBlockPlan {
  uint32_t targetLength;
  uint32_t sourceStart;
  uint32_t sourceEnd;
};

class TBlockPlanner {
 public:
  // Blocks of at most `chunkSize` bytes on either side, chosen by looking at
  // most `lookahead` bytes into each file.
  TBlockPlanner(uint32_t chunkSize, uint32_t lookahead);

  // `old` holds the next unconsumed bytes of the old file, `target` the next
  // bytes of the new file; at most `lookahead` bytes of each are considered.
  TBlockPlan Plan(const uint8_t* old, uint32_t oldLength, const uint8_t* target,
                  uint32_t targetLength);

 private:
  // A stretch of the target found verbatim in the old window.
  struct Segment {
    uint32_t target;
    uint32_t source;
    uint32_t length;
  };

  uint32_t Slot(uint32_t hash) const;
  void Index(const uint8_t* old, uint32_t oldLength);
  void FindSegments(const uint8_t* old, uint32_t oldLength, const uint8_t* target,
                    uint32_t targetLength);
  void Chain();

  // How far a block of at most `limit` target bytes follows the chain: its
  // target length and the end of the old bytes it uses (0: none).
  struct Reach {
    uint32_t length;
    uint32_t end;
  };
  Reach Follow(uint32_t limit) const;
  // The plan, or the part of it before the first long run of the chain that
  // its chunk's start does not align.
  TBlockPlan Realign(const TBlockPlan& plan) const;

  uint32_t chunkSize_, lookahead_;
  int tableBits_;
  std::unique_ptr<uint32_t[]> table_;  // hash -> old position + 1
  std::vector<Segment> segments_;      // in target order
  std::vector<uint32_t> chain_;        // indices into segments_, in target order
  std::vector<uint8_t> onChain_;       // per segment
  // Work arrays of Chain(), kept to avoid reallocation per block.
  std::vector<uint32_t> sources_;
  std::vector<uint64_t> weight_, treeWeight_;
  std::vector<int32_t> parent_, treeIndex_;
};

}  // namespace slv2::diff
