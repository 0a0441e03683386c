#include "storage/cfb/Directory.h"

#include <algorithm>

#include "storage/cfb/Error.h"

namespace slv2::cfb {

namespace {
const char16_t kRootName[] = u"Root Entry";
// Runs of consecutive sectors move in pieces of up to this many bytes.
constexpr size_t kMostRun = 64 * 1024;
}  // namespace

Directory::Directory(SectorFile& file, Fat& fat, Header& header)
    : file_(file), fat_(fat), header_(header) {}

void Directory::Load(bool writable, Claims& claims) {
  ClaimWholeChain(fat_, header_.firstDirSector, claims, writable,
                  [&](uint32_t sector) { chain_.push_back(sector); });
  if (chain_.empty()) Corrupt("no directory");
  uint32_t per = PerSector();
  uint32_t size = file_.SectorSize();
  bool version3 = header_.majorVersion == 3;
  entries_.reserve(chain_.size() * per);
  std::vector<uint8_t> raw(kMostRun);
  for (size_t i = 0; i < chain_.size();) {
    size_t run = 1;
    while (i + run < chain_.size() && chain_[i + run] == chain_[i] + run &&
           (run + 1) * size <= kMostRun)
      ++run;
    file_.Read(chain_[i], 0, raw.data(), run * size);
    for (size_t at = 0; at < run * size; at += kDirEntryBytes)
      entries_.push_back(DirEntry::Parse(&raw[at], version3));
    i += run;
  }
  dirty_.assign(entries_.size(), false);
}

void Directory::Create() {
  chain_.push_back(fat_.Allocate());
  entries_.assign(PerSector(), DirEntry());
  dirty_.assign(entries_.size(), false);
  for (uint32_t id = 0; id < entries_.size(); ++id)
    Touch(id);
  DirEntry& root = entries_[0];
  root.SetName(kRootName);
  root.type = kTypeRoot;
  root.color = kBlack;
  root.start = kEndOfChain;
  chainChanged_ = true;
}

DirEntry& Directory::At(uint32_t id) {
  if (id >= entries_.size()) Corrupt("directory link out of range");
  return entries_[id];
}

const DirEntry& Directory::At(uint32_t id) const {
  if (id >= entries_.size()) Corrupt("directory link out of range");
  return entries_[id];
}

void Directory::Touch(uint32_t id) {
  if (dirty_[id]) return;
  dirty_[id] = true;
  dirtyList_.push_back(id);
}

uint32_t Directory::Allocate() {
  uint32_t id = freeHint_;
  while (id < entries_.size() && entries_[id].type != kTypeUnused)
    ++id;
  if (id == entries_.size()) {
    // A quarter more sectors (1 to 32), so that the directory stays in few
    // runs of sectors.
    size_t add = std::clamp<size_t>(chain_.size() / 4, 1, 32);
    if (entries_.size() + add * PerSector() > kMaxRegSect)
      Fail(stg::kStgEDocFileTooLarge, "directory full");
    for (size_t i = 0; i < add; ++i) {
      uint32_t sector = fat_.Allocate();
      fat_.Link(chain_.back(), sector);
      chain_.push_back(sector);
    }
    entries_.resize(chain_.size() * PerSector());
    dirty_.resize(entries_.size(), false);
    for (uint32_t fresh = id; fresh < entries_.size(); ++fresh)
      Touch(fresh);
    chainChanged_ = true;
  }
  freeHint_ = id + 1;
  entries_[id] = DirEntry();
  Touch(id);
  return id;
}

void Directory::Release(uint32_t id) {
  At(id) = DirEntry();
  Touch(id);
  freeHint_ = std::min(freeHint_, id);
}

void Directory::Store() {
  uint32_t per = PerSector();
  uint32_t size = file_.SectorSize();
  std::sort(dirtyList_.begin(), dirtyList_.end());
  std::vector<uint8_t> raw(kMostRun);
  // Every sector holding a changed entry is written whole, consecutive ones
  // together.
  size_t first = 0, count = 0;  // the run of chain positions in `raw`
  auto flush = [&] {
    if (count > 0) file_.WriteStructure(chain_[first], 0, raw.data(), count * size);
    count = 0;
  };
  for (size_t i = 0; i < dirtyList_.size();) {
    size_t position = dirtyList_[i] / per;
    bool follows = count > 0 && position == first + count &&
                   chain_[position] == chain_[first] + count && (count + 1) * size <= kMostRun;
    if (!follows) {
      flush();
      first = position;
    }
    for (uint32_t k = 0; k < per; ++k) {
      uint32_t id = static_cast<uint32_t>(position * per + k);
      entries_[id].Serialize(&raw[count * size + k * kDirEntryBytes]);
      dirty_[id] = false;
    }
    ++count;
    while (i < dirtyList_.size() && dirtyList_[i] / per == position)
      ++i;
  }
  flush();
  dirtyList_.clear();
  if (!chainChanged_) return;
  header_.firstDirSector = chain_[0];
  header_.numDirSectors = header_.majorVersion == 3 ? 0 : static_cast<uint32_t>(chain_.size());
  chainChanged_ = false;
}

}  // namespace slv2::cfb
