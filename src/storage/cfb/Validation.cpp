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

void CheckStreamChains(Fat& fat, MiniStream& mini, const Directory& directory,
                       const std::vector<uint32_t>& parents, Claims& claims) {
  Claims miniClaims(mini.Limit(), false);
  for (uint32_t id = 1; id < directory.Count(); ++id) {
    const DirEntry& e = directory.At(id);
    if (parents[id] == kNoStream || e.type != kTypeStream || e.size == 0) continue;
    bool small = e.size < kMiniStreamCutoff;
    uint64_t length = small ? ClaimWholeChain(mini, e.start, miniClaims, true)
                            : ClaimWholeChain(fat, e.start, claims, true);
    if (length < UnitsFor(e.size, small ? kMiniSectorShift : fat.Shift()))
      Corrupt("stream shorter than its size");
  }
}

}  // namespace slv2::cfb
