// The encoder: writes a difference (DiffFormat.h) that ApplyDiffStream turns,
// together with the old file, back into the new file byte for byte. Both
// files are read strictly forward and held only a few chunks at a time, so
// memory stays bounded whatever their sizes: about 20 MiB with 2 MiB chunks
// (three chunks of lookahead into each file and the indexes of one block).
#pragma once

#include <cstdint>

#include "patch/DiffFormat.h"
#include "storage/Stream.h"

namespace slv2 {

enum class TDiffAlignment {
  // Each block chooses how much of the new file it rebuilds and which stretch
  // of the old file ahead it copies from, following content that moved.
  kAdaptive,
  // Block n pairs chunk n of the new file with chunk n of the old file.
  kFixed,
};

struct TDiffEncoderOptions {
  TDiffAlignment alignment = TDiffAlignment::kAdaptive;
  // The largest chunk on either side, at most diff::kChunkSize; smaller
  // chunks give more, smaller blocks.
  uint32_t chunkSize = diff::kChunkSize;
};

// Reads `oldData` and `newData` from their current positions to their ends
// and writes the difference to `diff` at its current position.
void CreateDiffStream(TStream& oldData, TStream& newData, TStream& diff,
                      const TDiffEncoderOptions& options = {});

}  // namespace slv2
