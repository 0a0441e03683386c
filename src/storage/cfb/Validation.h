// Checks of a file's structure made when it is opened, so that everything
// later can trust the directory (and, in a file about to be changed, the
// sector chains).
#pragma once

#include <cstdint>
#include <vector>

#include "storage/cfb/Directory.h"
#include "storage/cfb/Fat.h"
#include "storage/cfb/MiniStream.h"

namespace slv2::cfb {

// Walks every storage's tree from the root entry without recursion: each
// reachable entry must be a storage or a stream, inside the directory and
// reached once (no cycles, no entry in two trees). Returns each entry's
// storage, kNoStream for the root and for entries no tree reaches.
std::vector<uint32_t> CheckDirectory(const Directory& directory);

// For a file about to be changed: every sector and mini sector belongs to at
// most one owner (FAT, DIFAT, directory, mini FAT, mini stream, one stream),
// and every stream's chain is whole and long enough for its size.
void CheckSectorOwnership(const Fat& fat, MiniStream& mini, const Directory& directory,
                          const std::vector<uint32_t>& parents);

}  // namespace slv2::cfb
