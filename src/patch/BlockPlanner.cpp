#include "patch/BlockPlanner.h"

#include <algorithm>
#include <cstring>

#include "patch/ByteMatch.h"

namespace slv2::diff {
namespace {

// Anchors: old positions every kStride bytes, keyed by a rolling hash of the
// next kAnchorLength bytes, so that every match of at least
// kAnchorLength + kStride - 1 bytes is seen from the target side.
constexpr uint32_t kAnchorLength = 32;
constexpr uint32_t kStride = 32;
constexpr uint32_t kMultiplier = 0x01000193;

// Off the chain, only stretches this long are worth ending a block early for.
constexpr uint32_t kMinMovedLength = 1024;
// A run of the chain on one diagonal this long is worth a block of its own,
// and so is a shorter run whose diagonals stay within a band (small
// insertions and deletions, such as renamed identifiers, move it little):
// source and target positions that differ by little still compress well.
// Either only unless more than a share of it is matched across the cut.
constexpr uint32_t kMinRealignLength = 128 * 1024;
constexpr int64_t kBand = 64;
constexpr uint32_t kMinBandRun = 32 * 1024;
constexpr uint32_t kRealignShare = 32;

uint32_t PowerOfMultiplier() {
  uint32_t power = 1;
  for (uint32_t i = 1; i < kAnchorLength; ++i)
    power *= kMultiplier;
  return power;
}
const uint32_t kOutgoingFactor = PowerOfMultiplier();

uint32_t HashOf(const uint8_t* p) {
  uint32_t h = 0;
  for (uint32_t i = 0; i < kAnchorLength; ++i)
    h = h * kMultiplier + p[i];
  return h;
}
uint32_t Roll(uint32_t h, uint8_t out, uint8_t in) {
  return (h - out * kOutgoingFactor) * kMultiplier + in;
}

}  // namespace

TBlockPlanner::TBlockPlanner(uint32_t chunkSize, uint32_t lookahead)
    : chunkSize_(chunkSize),
      lookahead_(lookahead),
      tableBits_(TableBits(lookahead / kStride)),
      table_(std::make_unique_for_overwrite<uint32_t[]>(size_t(1) << tableBits_)) {}

uint32_t TBlockPlanner::Slot(uint32_t h) const {
  return (h * 0x9E3779B1u) >> (32 - tableBits_);
}

void TBlockPlanner::Index(const uint8_t* old, uint32_t oldLength) {
  std::fill_n(table_.get(), size_t(1) << tableBits_, 0u);
  if (oldLength < kAnchorLength) return;
  // The first anchor of a slot wins: the nearer old copy of repeated content
  // keeps more of the old file for later blocks.
  uint32_t h = HashOf(old);
  for (uint32_t i = 0;; ++i) {
    if (i % kStride == 0) {
      uint32_t& slot = table_[Slot(h)];
      if (slot == 0) slot = i + 1;
    }
    if (i + kAnchorLength >= oldLength) break;
    h = Roll(h, old[i], old[i + kAnchorLength]);
  }
}

void TBlockPlanner::FindSegments(const uint8_t* old, uint32_t oldLength, const uint8_t* target,
                                 uint32_t targetLength) {
  segments_.clear();
  if (oldLength < kAnchorLength || targetLength < kAnchorLength) return;
  uint32_t covered = 0;  // target bytes before this are in a segment
  int64_t diagonal = 0;  // old minus target offset of the last segment
  uint32_t j = 0;
  uint32_t h = HashOf(target);
  for (;;) {
    int64_t found = -1;
    int64_t guess = j + diagonal;
    if (!segments_.empty() && guess >= 0 && guess + kAnchorLength <= oldLength &&
        std::memcmp(old + guess, target + j, kAnchorLength) == 0) {
      found = guess;
    } else if (uint32_t slot = table_[Slot(h)];
               slot != 0 && std::memcmp(old + slot - 1, target + j, kAnchorLength) == 0) {
      found = slot - 1;
    }
    if (found >= 0) {
      auto i = static_cast<uint32_t>(found);
      uint32_t length =
          CommonLength(old + i, target + j, std::min(oldLength - i, targetLength - j));
      while (j > covered && i > 0 && target[j - 1] == old[i - 1]) {
        --j;
        --i;
        ++length;
      }
      segments_.push_back({j, i, length});
      diagonal = int64_t(i) - j;
      j += length;
      covered = j;
      if (j + kAnchorLength > targetLength) return;
      h = HashOf(target + j);
    } else {
      if (j + kAnchorLength >= targetLength) return;
      h = Roll(h, target[j], target[j + kAnchorLength]);
      ++j;
    }
  }
}

void TBlockPlanner::Chain() {
  // Heaviest chain, in target order, of segments whose old start positions do
  // not decrease: a Fenwick tree over the distinct old positions answers
  // "heaviest chain ending at or before this position" in logarithmic time.
  size_t n = segments_.size();
  sources_.resize(n);
  for (size_t i = 0; i < n; ++i)
    sources_[i] = segments_[i].source;
  std::sort(sources_.begin(), sources_.end());
  sources_.erase(std::unique(sources_.begin(), sources_.end()), sources_.end());
  size_t ranks = sources_.size();
  weight_.assign(n, 0);
  parent_.assign(n, -1);
  treeWeight_.assign(ranks + 1, 0);
  treeIndex_.assign(ranks + 1, -1);
  int32_t last = -1;
  for (size_t i = 0; i < n; ++i) {
    size_t rank = std::lower_bound(sources_.begin(), sources_.end(), segments_[i].source) -
                  sources_.begin() + 1;
    uint64_t best = 0;
    int32_t from = -1;
    for (size_t r = rank; r > 0; r -= r & (~r + 1)) {
      if (treeWeight_[r] > best) {
        best = treeWeight_[r];
        from = treeIndex_[r];
      }
    }
    weight_[i] = best + segments_[i].length;
    parent_[i] = from;
    for (size_t r = rank; r <= ranks; r += r & (~r + 1)) {
      if (weight_[i] > treeWeight_[r]) {
        treeWeight_[r] = weight_[i];
        treeIndex_[r] = int32_t(i);
      }
    }
    if (last < 0 || weight_[i] > weight_[last]) last = int32_t(i);
  }
  chain_.clear();
  onChain_.assign(n, 0);
  for (int32_t i = last; i >= 0; i = parent_[i]) {
    chain_.push_back(uint32_t(i));
    onChain_[i] = 1;
  }
  std::reverse(chain_.begin(), chain_.end());
}

TBlockPlan TBlockPlanner::Plan(const uint8_t* old, uint32_t oldLength, const uint8_t* target,
                               uint32_t targetLength) {
  oldLength = std::min(oldLength, lookahead_);
  targetLength = std::min(targetLength, lookahead_);
  Index(old, oldLength);
  FindSegments(old, oldLength, target, targetLength);
  Chain();

  uint32_t limit = std::min(targetLength, chunkSize_);
  Reach reach = Follow(limit);
  // A long stretch that moved here from further ahead in the old file lies
  // beyond this block's source chunk; ending the block in front of it lets the
  // next block, whose chunk starts where this one ends, take it in.
  for (size_t i = 0; i < segments_.size(); ++i) {
    const Segment& s = segments_[i];
    if (s.target >= reach.length) break;
    if (onChain_[i] || s.length < kMinMovedLength || s.target == 0 || s.source < reach.end) {
      continue;
    }
    auto next = std::find_if(chain_.begin(), chain_.end(),
                             [&](uint32_t c) { return segments_[c].target >= s.target; });
    uint64_t nextSource = next == chain_.end() ? s.source : segments_[*next].source;
    if (uint64_t(s.source) + s.length <= nextSource + chunkSize_) {
      reach = Follow(s.target);
      break;
    }
  }
  if (reach.end == 0) return {reach.length, 0, 0};
  // The chunk ends with the last old byte the chain uses and takes in as much
  // as fits of the old bytes in front of it.
  uint32_t start = reach.end > chunkSize_ ? reach.end - chunkSize_ : 0;
  return Realign({reach.length, start, reach.end});
}

TBlockPlan TBlockPlanner::Realign(const TBlockPlan& plan) const {
  // After an insertion or a deletion the chain goes on along another
  // diagonal, where source and target positions within the block no longer
  // agree. Ending the block where a long run on the new diagonal begins, with
  // its chunk reaching up to the run's old start, lets the next block begin
  // both at the run: its copies then have equal source and target positions,
  // which the compression of the commands rewards, and long unchanged
  // stretches give the same commands in block after block. The cut is made
  // only where little is matched across it: old bytes behind it that later
  // target bytes copy, and old bytes after it that earlier ones copy, are out
  // of reach once it is made.
  auto diagonal = [&](size_t c) {
    return int64_t(segments_[chain_[c]].source) - segments_[chain_[c]].target;
  };
  auto near = [](int64_t a, int64_t b, int64_t width) { return a - b <= width && b - a <= width; };
  // The span of the run of chain segments from c on whose diagonals stay
  // within `width` of c's.
  auto runFrom = [&](size_t c, int64_t width) {
    size_t last = c;
    while (last + 1 < chain_.size() && near(diagonal(last + 1), diagonal(c), width))
      ++last;
    const Segment& runEnd = segments_[chain_[last]];
    return runEnd.target + uint64_t(runEnd.length) - segments_[chain_[c]].target;
  };
  for (size_t c = 1; c < chain_.size(); ++c) {
    const Segment& s = segments_[chain_[c]];
    if (s.target >= plan.targetLength) break;
    if (diagonal(c) == diagonal(c - 1) || diagonal(c) == plan.sourceStart) continue;
    uint64_t run = runFrom(c, 0);
    bool exact = run >= kMinRealignLength;
    bool drifted = !near(diagonal(c), plan.sourceStart, kBand) &&
                   !near(diagonal(c), diagonal(c - 1), kBand) && runFrom(c, kBand) >= kMinBandRun;
    if (drifted) run = runFrom(c, kBand);
    if (!(exact || drifted) || s.source - plan.sourceStart > chunkSize_) continue;
    Reach before = Follow(s.target);
    if (before.end > s.source) continue;
    uint64_t across = 0;
    for (const Segment& o : segments_) {
      bool behind = o.target >= s.target && o.source < s.source;
      bool ahead = o.target < s.target && o.source + o.length > s.source;
      if (behind || ahead) across += o.length;
    }
    if (across * kRealignShare > run) continue;
    return {before.length, plan.sourceStart, s.source};
  }
  return plan;
}

TBlockPlanner::Reach TBlockPlanner::Follow(uint32_t limit) const {
  // The block follows the chain as far as its target and its source chunk can
  // stretch; it ends inside a segment when either is full.
  Reach reach{limit, 0};
  uint64_t first = 0;
  bool any = false;
  for (uint32_t index : chain_) {
    const Segment& s = segments_[index];
    if (s.target >= limit) break;
    if (!any) first = s.source;
    any = true;
    uint64_t take = std::min(s.length, limit - s.target);
    if (s.source + take - first > chunkSize_) {
      uint64_t fit = s.source < first + chunkSize_ ? first + chunkSize_ - s.source : 0;
      if (fit > 0) reach.end = std::max<uint64_t>(reach.end, s.source + fit);
      reach.length = s.target + uint32_t(fit);
      break;
    }
    reach.end = std::max<uint64_t>(reach.end, s.source + take);
  }
  return reach;
}

}  // namespace slv2::diff
