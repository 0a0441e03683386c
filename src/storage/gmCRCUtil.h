// The CRC-32 of a range of a stream (the checksum of the compressed-stream
// header), read in small blocks so that no stream is held in memory.
#pragma once

#include <cstdint>

#include "storage/Stream.h"

namespace slv2 {

// The CRC-32 of the bytes from `start` up to `end` (0: the stream's size); 0
// for an empty range. Leaves the stream positioned after the bytes it read.
uint32_t StreamCRC32(TStream& stream, int64_t start = 0, int64_t end = 0);

}  // namespace slv2
