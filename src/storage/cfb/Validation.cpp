#include "storage/cfb/Validation.h"

#include "storage/cfb/Error.h"

namespace slv2::cfb {

std::vector<uint32_t> CheckDirectory(const Directory& directory) {
  uint32_t count = directory.Count();
  if (directory.At(0).type != kTypeRoot) Corrupt("no root entry");
  std::vector<uint32_t> parents(count, kNoStream);
  std::vector<bool> seen(count, false);
  seen[0] = true;
  std::vector<uint32_t> storages{0};
  std::vector<uint32_t> nodes;
  while (!storages.empty()) {
    uint32_t storage = storages.back();
    storages.pop_back();
    if (directory.At(storage).child != kNoStream) nodes.push_back(directory.At(storage).child);
    while (!nodes.empty()) {
      uint32_t id = nodes.back();
      nodes.pop_back();
      if (id >= count) Corrupt("directory link out of range");
      if (seen[id]) Corrupt("directory entry linked twice");
      seen[id] = true;
      const DirEntry& e = directory.At(id);
      if (e.type != kTypeStorage && e.type != kTypeStream) Corrupt("bad entry in a tree");
      parents[id] = storage;
      if (e.left != kNoStream) nodes.push_back(e.left);
      if (e.right != kNoStream) nodes.push_back(e.right);
      if (e.type == kTypeStorage) storages.push_back(id);
    }
  }
  return parents;
}

void CheckSectorOwnership(const Fat& fat, MiniStream& mini, const Directory& directory,
                          const std::vector<uint32_t>& parents) {
  std::vector<bool> owned(fat.Table().size(), false);
  auto claim = [&](const std::vector<uint32_t>& sectors) {
    for (uint32_t s : sectors) {
      if (s >= owned.size()) Corrupt("sector outside the FAT");
      if (owned[s]) Corrupt("sector used twice");
      owned[s] = true;
    }
  };
  claim(fat.FatSectors());
  claim(fat.DifatSectors());
  claim(directory.Chain());
  claim(mini.FatChain());
  claim(mini.Container());

  std::vector<bool> miniOwned(mini.Limit(), false);
  for (uint32_t id = 1; id < directory.Count(); ++id) {
    const DirEntry& e = directory.At(id);
    if (parents[id] == kNoStream || e.type != kTypeStream || e.size == 0) continue;
    if (e.size >= kMiniStreamCutoff) {
      std::vector<uint32_t> chain = fat.WholeChain(e.start, true);
      if (static_cast<uint64_t>(chain.size()) << fat.Shift() < e.size)
        Corrupt("stream shorter than its size");
      claim(chain);
    } else {
      std::vector<uint32_t> chain = mini.WholeChain(e.start);
      if (static_cast<uint64_t>(chain.size()) * kMiniSectorBytes < e.size)
        Corrupt("stream shorter than its size");
      for (uint32_t s : chain) {
        if (miniOwned[s]) Corrupt("mini sector used twice");
        miniOwned[s] = true;
      }
    }
  }
}

}  // namespace slv2::cfb
