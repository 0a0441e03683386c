// Checks of a file's structure made when it is opened, so that everything
// later can trust the directory (and, in a file about to be changed, the
// sector chains).
#pragma once

#include <cstdint>
#include <vector>

#include "storage/cfb/Chain.h"
#include "storage/cfb/Directory.h"
#include "storage/cfb/Fat.h"
#include "storage/cfb/MiniStream.h"

namespace slv2::cfb {

// Walks every storage's tree from the root entry without recursion: each
// reachable entry must be a storage or a stream, inside the directory and
// reached once (no cycles, no entry in two trees). Returns each entry's
// storage, kNoStream for the root and for entries no tree reaches.
std::vector<uint32_t> CheckDirectory(const Directory& directory);

// For a file about to be changed, whose FAT, DIFAT, directory, mini FAT and
// mini stream sectors are claimed in `claims` already: every stream's chain
// is whole, long enough for its size and shares no sector or mini sector.
void CheckStreamChains(Fat& fat, MiniStream& mini, const Directory& directory,
                       const std::vector<uint32_t>& parents, Claims& claims);

}  // namespace slv2::cfb
