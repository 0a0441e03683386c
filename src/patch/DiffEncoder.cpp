#include "patch/DiffEncoder.h"

#include <algorithm>
#include <vector>

#include "patch/BlockPlanner.h"
#include "patch/BlockWriter.h"
#include "patch/ChunkMatcher.h"
#include "patch/DeflateCounter.h"
#include "patch/StreamWindow.h"

namespace slv2 {
namespace {

using namespace diff;

// The adaptive planner looks this many chunks ahead into both files.
constexpr uint32_t kLookaheadChunks = 3;

// A copy costs a 10-byte command, which compresses far less than literal
// text does but about as well as literal machine code; so each block tries
// these shortest copy lengths and keeps the one that deflates smallest.
constexpr uint32_t kMinMatchTrials[] = {12, 16, 24, 32, 48, 64};
static_assert(kMinMatchTrials[0] >= TChunkMatcher::kMinMatchFloor);
// A copy that leaves the diagonal of the copy before it costs more: its source
// position is harder to compress. These extra lengths are tried for it.
constexpr uint32_t kLeaveExtraTrials[] = {0, 8, 24};

// Copies of at least the floor length, with the final command, always fit the
// command buffer.
static_assert((kChunkSize / TChunkMatcher::kMinMatchFloor + 1) * kCommandSize <= kChunkSize);

class TEncoder {
 public:
  TEncoder(TStream& oldData, TStream& newData, TStream& diff, const TDiffEncoderOptions& options)
      : chunk_(std::clamp<uint32_t>(options.chunkSize, 1, kChunkSize)),
        lookahead_(kLookaheadChunks * chunk_),
        adaptive_(options.alignment == TDiffAlignment::kAdaptive),
        old_(oldData, adaptive_ ? lookahead_ : chunk_),
        new_(newData, adaptive_ ? lookahead_ : chunk_),
        planner_(chunk_, lookahead_),
        matcher_(chunk_),
        out_(diff) {}

  void Run() {
    for (bool first = true;; first = false) {
      new_.Fill();
      if (new_.Size() == 0) {
        // The decoder refuses a difference that is only its end block; an
        // empty new file is rebuilt by a block that checks the old file's
        // first chunk, so that it still applies only to that file.
        if (first) {
          old_.Fill();
          WriteSkipBlock(out_, old_.Data(), std::min(old_.Size(), chunk_));
        }
        break;
      }
      old_.Fill();
      TBlockPlan plan{std::min(new_.Size(), chunk_), 0, std::min(old_.Size(), chunk_)};
      if (adaptive_) plan = planner_.Plan(old_.Data(), old_.Size(), new_.Data(), new_.Size());
      Block(plan);
      new_.Discard(plan.targetLength);
    }
    WriteEndBlock(out_);
    out_.Flush();
  }

 private:
  void Block(const TBlockPlan& plan) {
    const uint8_t* source = old_.Data() + plan.sourceStart;
    uint32_t sourceLength = plan.sourceEnd - plan.sourceStart;
    const uint8_t* target = new_.Data();
    uint32_t targetLength = plan.targetLength;
    ChooseCopies(source, sourceLength, target, targetLength);
    if (DeltaBlockSize(targetLength, best_) < kStoredHeaderSize + uint64_t(targetLength)) {
      for (uint32_t skipped = 0; skipped < plan.sourceStart;) {
        uint32_t n = std::min(plan.sourceStart - skipped, chunk_);
        WriteSkipBlock(out_, old_.Data() + skipped, n);
        skipped += n;
      }
      WriteDeltaBlock(out_, source, sourceLength, target, targetLength, best_);
      old_.Discard(plan.sourceEnd);
    } else if (adaptive_) {
      // Nothing old is consumed: later blocks may still find their match in it.
      WriteStoredBlock(out_, 0, target, targetLength);
    } else {
      // Fixed pairs keep their step even when a chunk is stored.
      WriteStoredBlock(out_, sourceLength, target, targetLength);
      old_.Discard(sourceLength);
    }
  }

  // Leaves in best_ the copies whose delta block deflates smallest: first
  // the shortest copy length, whose sizes fall and then rise again as it
  // grows (the search stops once they rise); then, at that length, the extra
  // length asked of a copy that leaves the diagonal of the one before it.
  void ChooseCopies(const uint8_t* source, uint32_t sourceLength, const uint8_t* target,
                    uint32_t targetLength) {
    matcher_.SetSource(source, sourceLength);
    uint64_t bestSize = UINT64_MAX;
    auto trial = [&](uint32_t minMatch, uint32_t leaveExtra) {
      matcher_.Match(target, targetLength, minMatch, leaveExtra, trial_);
      deflated_.Reset();
      WriteDeltaBlock(deflated_, source, sourceLength, target, targetLength, trial_);
      uint64_t size = deflated_.Finish();
      if (size < bestSize) {
        bestSize = size;
        best_.swap(trial_);
      }
      return size;
    };
    // A larger extra length moves the best shortest length down, if at
    // all: each series starts one step below the last one's best.
    size_t first = 0;
    for (uint32_t leaveExtra : kLeaveExtraTrials) {
      uint64_t seriesBest = UINT64_MAX;
      size_t seriesFirst = first;
      for (size_t i = seriesFirst; i < std::size(kMinMatchTrials); ++i) {
        uint64_t size = trial(kMinMatchTrials[i], leaveExtra);
        if (size >= seriesBest) break;
        seriesBest = size;
        first = i > 0 ? i - 1 : 0;
      }
    }
  }

  uint32_t chunk_, lookahead_;
  bool adaptive_;
  TStreamWindow old_, new_;
  TBlockPlanner planner_;
  TChunkMatcher matcher_;
  TDeflateCounter deflated_;
  std::vector<TCopy> best_, trial_;
  TStreamSink out_;
};

}  // namespace

void CreateDiffStream(TStream& oldData, TStream& newData, TStream& diff,
                      const TDiffEncoderOptions& options) {
  TEncoder(oldData, newData, diff, options).Run();
}

}  // namespace slv2
