// Rebuilds a new file from an old one and a difference stream (DiffFormat.h),
// block by block, checking every checksum of a block before any byte of it is
// written. Old and new are read and written strictly forward, never sought.
#pragma once

#include <cstdint>
#include <functional>

#include "storage/Stream.h"

namespace slv2 {

// Told how many difference bytes were consumed since its previous call; the
// first call counts from position 0 of the difference stream.
using TDiffProgressProc = std::function<void(int32_t delta)>;

// Decodes the whole difference from the current positions of `diff` and
// `source` into `target` at its current position. Every check of the format
// (a checksum, an unknown block kind, a length or command reaching outside the
// 2 MiB work buffers, an end block with no block before it) raises the
// general Exception "CRC Error"; a difference
// or old file that ends early raises EReadError; other stream errors pass
// through. Blocks written before a failure stay in the target.
void ApplyDiffStream(TStream& diff, TStream& source, TStream& target,
                     const TDiffProgressProc& progress = nullptr);

// True when `installed`, read from its current position to its end, already
// is what the difference makes: every stored block's data and every delta
// block's target length and CRC match it in order, and nothing follows the
// last block. A repeated run then finds the file up to date instead of
// failing on a source that is no longer the old file. Malformed blocks, and
// a difference or file that ends early, give false.
bool DiffResultInPlace(TStream& diff, TStream& installed);

}  // namespace slv2
