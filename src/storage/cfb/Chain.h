// Walks of sector chains through an allocation table (the FAT or the mini
// FAT). Every walk is bounded by `limit`, the number of sectors that can hold
// data, and refuses a chain that leaves them, meets a marker or visits a
// sector twice (a loop): such a file is corrupt.
#pragma once

#include <cstdint>
#include <vector>

namespace slv2::cfb {

// The first `count` sectors of the chain from `start`; what follows them is
// not looked at.
std::vector<uint32_t> WalkChain(const std::vector<uint32_t>& table, uint32_t start, uint64_t count,
                                uint32_t limit);

// The whole chain from `start` to its end marker. A lenient walk also takes
// FREESECT as an end, as some writers leave it; a strict one (for files about
// to be changed, whose ends must be right) does not.
std::vector<uint32_t> WalkWholeChain(const std::vector<uint32_t>& table, uint32_t start,
                                     uint32_t limit, bool strict);

}  // namespace slv2::cfb
