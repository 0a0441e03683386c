#include "storage/cfb/Directory.h"

#include <algorithm>

#include "storage/cfb/Error.h"

namespace slv2::cfb {

namespace {
const char16_t kRootName[] = u"Root Entry";
}  // namespace

Directory::Directory(SectorFile& file, Fat& fat, Header& header)
    : file_(file), fat_(fat), header_(header) {}

void Directory::Load(bool writable) {
  chain_ = fat_.WholeChain(header_.firstDirSector, writable);
  if (chain_.empty()) Corrupt("no directory");
  uint32_t per = PerSector();
  bool version3 = header_.majorVersion == 3;
  entries_.reserve(chain_.size() * per);
  std::vector<uint8_t> raw(file_.SectorSize());
  for (uint32_t sector : chain_) {
    file_.Read(sector, 0, raw.data(), raw.size());
    for (uint32_t i = 0; i < per; ++i)
      entries_.push_back(DirEntry::Parse(&raw[i * kDirEntryBytes], version3));
  }
  dirty_.assign(entries_.size(), false);
}

void Directory::Create() {
  fat_.Resize(chain_, 1);
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
    if (entries_.size() + PerSector() > kMaxRegSect)
      Fail(stg::kStgEDocFileTooLarge, "directory full");
    fat_.Resize(chain_, chain_.size() + 1);
    entries_.resize(entries_.size() + PerSector());
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
  uint8_t raw[kDirEntryBytes];
  uint32_t per = PerSector();
  std::sort(dirtyList_.begin(), dirtyList_.end());
  for (uint32_t id : dirtyList_) {
    entries_[id].Serialize(raw);
    file_.Write(chain_[id / per], (id % per) * kDirEntryBytes, raw, sizeof raw);
    dirty_[id] = false;
  }
  dirtyList_.clear();
  if (!chainChanged_) return;
  header_.firstDirSector = chain_[0];
  header_.numDirSectors = header_.majorVersion == 3 ? 0 : static_cast<uint32_t>(chain_.size());
  chainChanged_ = false;
}

}  // namespace slv2::cfb
