#include "patch/ChunkMatcher.h"

#include <algorithm>
#include <cstring>

#include "patch/ByteMatch.h"
#include "sys/Exception.h"

namespace slv2::diff {
namespace {

// Positions are indexed by a hash of their next kKeyLength bytes.
constexpr uint32_t kKeyLength = 8;
constexpr uint32_t kIndexStride = 4;
// Search effort: chain steps per position, and a length that ends the search.
constexpr int kMaxChain = 32;
constexpr uint32_t kGoodEnough = 4096;

uint32_t Hash(const uint8_t* p, int bits) {
  uint64_t key;
  std::memcpy(&key, p, sizeof key);
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

}  // namespace

TChunkMatcher::TChunkMatcher(uint32_t chunkSize)
    : chunkSize_(chunkSize),
      hashBits_(TableBits(chunkSize / kIndexStride)),
      head_(std::make_unique_for_overwrite<uint32_t[]>(size_t(1) << hashBits_)),
      prev_(std::make_unique_for_overwrite<uint32_t[]>(chunkSize / kIndexStride + 1)) {}

void TChunkMatcher::SetSource(const uint8_t* source, uint32_t sourceLength) {
  SLV2_ASSERT(sourceLength <= chunkSize_, "DiffEncoder");
  source_ = source;
  sourceLength_ = sourceLength;
  std::fill_n(head_.get(), size_t(1) << hashBits_, 0u);
  for (uint32_t i = 0; i + kKeyLength <= sourceLength; i += kIndexStride) {
    uint32_t h = Hash(source + i, hashBits_);
    prev_[i / kIndexStride] = head_[h];
    head_[h] = i + 1;
  }
}

void TChunkMatcher::Match(const uint8_t* target, uint32_t targetLength, uint32_t minMatch,
                          uint32_t leaveExtra, std::vector<TCopy>& copies) const {
  copies.clear();
  const uint8_t* source = source_;
  uint32_t sourceLength = sourceLength_;
  if (sourceLength < minMatch || targetLength < minMatch) return;

  uint32_t literalStart = 0;  // first target byte not yet covered by a copy
  int64_t diagonal = 0;       // source minus target offset of the last copy
  uint32_t j = 0;
  while (j + minMatch <= targetLength) {
    uint32_t bestLength = 0, bestSource = 0;
    // The last copy's diagonal first: after a small change, the old bytes
    // usually go on where they left off.
    int64_t guess = j + diagonal;
    if (!copies.empty() && guess >= 0 && guess + minMatch <= sourceLength) {
      auto i = static_cast<uint32_t>(guess);
      bestLength =
          CommonLength(source + i, target + j, std::min(sourceLength - i, targetLength - j));
      bestSource = i;
    }
    if (bestLength < kGoodEnough && j + kKeyLength <= targetLength) {
      uint32_t limitTarget = targetLength - j;
      int steps = 0;
      for (uint32_t link = head_[Hash(target + j, hashBits_)]; link != 0 && steps < kMaxChain;
           link = prev_[(link - 1) / kIndexStride], ++steps) {
        uint32_t i = link - 1;
        uint32_t limit = std::min(sourceLength - i, limitTarget);
        if (limit <= bestLength || source[i + bestLength] != target[j + bestLength]) continue;
        uint32_t length = CommonLength(source + i, target + j, limit);
        if (length > bestLength) {
          bestLength = length;
          bestSource = i;
          if (length >= kGoodEnough) break;
        }
      }
    }
    if (bestLength == 0) {
      ++j;
      continue;
    }
    // Grow the match backwards over bytes that would otherwise be literal.
    uint32_t start = j, from = bestSource;
    while (start > literalStart && from > 0 && target[start - 1] == source[from - 1]) {
      --start;
      --from;
    }
    uint32_t length = bestLength + (j - start);
    // A copy that leaves the diagonal of the last one costs more than one
    // that goes on along it: its source position compresses worse.
    bool leaves = !copies.empty() && int64_t(from) - start != diagonal;
    if (length < minMatch + (leaves ? leaveExtra : 0)) {
      ++j;
      continue;
    }
    copies.push_back({start, from, length});
    diagonal = int64_t(from) - start;
    j = start + length;
    literalStart = j;
  }
}

}  // namespace slv2::diff
