#include "storage/cfb/Chain.h"

#include <algorithm>

#include "storage/cfb/Error.h"
#include "storage/cfb/Format.h"

namespace slv2::cfb {

namespace {

void CheckNoRepeats(const std::vector<uint32_t>& chain) {
  std::vector<uint32_t> sorted(chain);
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) Corrupt("chain loops");
}

uint32_t Link(const std::vector<uint32_t>& table, uint32_t sector) {
  if (sector >= table.size()) Corrupt("chain leaves the allocation table");
  return table[sector];
}

}  // namespace

std::vector<uint32_t> WalkChain(const std::vector<uint32_t>& table, uint32_t start, uint64_t count,
                                uint32_t limit) {
  std::vector<uint32_t> chain;
  if (count == 0) return chain;
  if (count > limit) Corrupt("chain longer than the file");
  chain.reserve(static_cast<size_t>(count));
  for (uint32_t sector = start;;) {
    if (sector >= limit) Corrupt("chain ends early or leaves the file");
    chain.push_back(sector);
    if (chain.size() == count) break;
    sector = Link(table, sector);
  }
  CheckNoRepeats(chain);
  return chain;
}

std::vector<uint32_t> WalkWholeChain(const std::vector<uint32_t>& table, uint32_t start,
                                     uint32_t limit, bool strict) {
  std::vector<uint32_t> chain;
  for (uint32_t sector = start; sector != kEndOfChain;) {
    if (!strict && sector == kFreeSect) break;
    if (sector >= limit) Corrupt("chain leaves the file");
    if (chain.size() >= limit) Corrupt("chain loops");
    chain.push_back(sector);
    sector = Link(table, sector);
  }
  CheckNoRepeats(chain);
  return chain;
}

}  // namespace slv2::cfb
