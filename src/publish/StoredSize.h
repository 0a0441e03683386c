// How many bytes a file takes as an element of an update storage: its own
// size, or with compression the zlib data at level 9 behind the 16-byte
// compressed-stream header when that is smaller.
#pragma once

#include <cstdint>
#include <string>

namespace slv2::publish {

// Stops compressing once the element is known to be larger than `limit` and
// then answers limit + 1: a choice between two elements needs no more.
uint64_t StoredSize(const std::string& file, bool compress, uint64_t limit = UINT64_MAX - 1);

}  // namespace slv2::publish
