#include "storage/cfb/CompoundFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "storage/cfb/Error.h"
#include "storage/cfb/SiblingTree.h"
#include "storage/cfb/Validation.h"

namespace slv2::cfb {

namespace {

enum TreeState : uint8_t { kSortKnown = 1, kIsSorted = 2, kBalanced = 4 };

// Now as a FILETIME (100 ns units since 1601).
uint64_t FileTimeNow() {
  auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  return static_cast<uint64_t>(since1970 / 100) + 116444736000000000ULL;
}

}  // namespace

CompoundFile::CompoundFile(std::shared_ptr<LockBytes> bytes, bool writable)
    : bytes_(std::move(bytes)), writable_(writable) {}

CompoundFile::~CompoundFile() {
  try {
    Sync();
  } catch (const std::exception&) {
    // Nobody is left to tell (see the class comment): writers commit.
  }
}

void CompoundFile::Assemble() {
  sectors_ = std::make_unique<SectorFile>(*bytes_, header_.sectorShift, writable_);
  fat_ = std::make_unique<Fat>(*sectors_, header_);
  dir_ = std::make_unique<Directory>(*sectors_, *fat_, header_);
  mini_ = std::make_unique<MiniStream>(*sectors_, *fat_, header_, *dir_);
}

std::shared_ptr<CompoundFile> CompoundFile::Open(std::shared_ptr<LockBytes> bytes, bool writable) {
  std::shared_ptr<CompoundFile> file(new CompoundFile(std::move(bytes), writable));
  uint8_t raw[kHeaderBytes] = {};
  size_t got = file->bytes_->ReadAt(0, raw, sizeof raw);
  if (!Header::HasSignature(raw, got)) Fail(stg::kStgEFileAlreadyExists, "not a compound file");
  if (got < sizeof raw) Fail(stg::kStgEInvalidHeader, "short header");
  file->header_ = Header::Parse(raw);
  file->header_.Serialize(file->written_);
  file->Assemble();
  Fat& fat = *file->fat_;
  fat.Load(writable);
  Claims& claims = file->claims_;
  claims.assign(fat.Limit(), false);
  for (const auto* list : {&fat.FatSectors(), &fat.DifatSectors()}) {
    for (uint32_t sector : *list) {
      if (sector < claims.size()) claims[sector] = true;
    }
  }
  file->dir_->Load(writable, claims);
  file->parents_ = CheckDirectory(*file->dir_);
  if (writable) {
    file->mini_->Load(true, claims);
    CheckStreamChains(fat, *file->mini_, *file->dir_, file->parents_, claims);
    Claims().swap(claims);  // a file about to change needs no more of them
  }
  file->ready_ = true;
  return file;
}

std::shared_ptr<CompoundFile> CompoundFile::Create(std::shared_ptr<LockBytes> bytes, int version) {
  std::shared_ptr<CompoundFile> file(new CompoundFile(std::move(bytes), true));
  file->bytes_->SetSize(0);
  file->header_.majorVersion = static_cast<uint16_t>(version);
  file->header_.sectorShift = version == 4 ? 12 : 9;
  file->Assemble();
  file->fat_->Create();
  file->dir_->Create();
  file->mini_->Create();
  file->parents_.assign(file->dir_->Count(), kNoStream);
  file->trees_[0] = kSortKnown | kIsSorted | kBalanced;
  file->ready_ = true;
  file->Sync();
  return file;
}

bool CompoundFile::IsWithin(uint32_t id, uint32_t ancestor) const {
  for (uint32_t at = id, steps = 0; at != kNoStream && steps <= parents_.size(); ++steps) {
    if (at == ancestor) return true;
    at = at < parents_.size() ? parents_[at] : kNoStream;
  }
  return false;
}

bool CompoundFile::InUse(uint32_t id) const {
  return std::any_of(open_.begin(), open_.end(), [&](uint32_t e) { return IsWithin(e, id); });
}

bool CompoundFile::Sorted(uint32_t storage) {
  uint8_t state = trees_[storage];
  if (!(state & kSortKnown)) {
    state |= kSortKnown | (SiblingTree(*dir_, storage).IsSorted() ? kIsSorted : 0);
    trees_[storage] = state;
  }
  return state & kIsSorted;
}

void CompoundFile::Balance(uint32_t storage) {
  if (trees_[storage] & kBalanced) return;
  SiblingTree tree(*dir_, storage);
  if (!tree.IsLeftLeaningRedBlack()) tree.Rebuild();
  trees_[storage] = kSortKnown | kIsSorted | kBalanced;
}

std::vector<uint32_t> CompoundFile::Children(uint32_t storage) {
  return SiblingTree(*dir_, storage).InOrder();
}

uint32_t CompoundFile::Find(uint32_t storage, std::u16string_view name) {
  return SiblingTree(*dir_, storage).Find(name, Sorted(storage));
}

uint32_t CompoundFile::Add(uint32_t storage, std::u16string_view name, uint8_t type) {
  Balance(storage);
  uint32_t id = dir_->Allocate();
  DirEntry& e = dir_->At(id);
  e.SetName(name);
  e.type = type;
  if (type == kTypeStream) {
    e.start = kEndOfChain;
  } else {
    e.ctime = e.mtime = FileTimeNow();
    trees_[id] = kSortKnown | kIsSorted | kBalanced;
  }
  if (parents_.size() < dir_->Count()) parents_.resize(dir_->Count(), kNoStream);
  parents_[id] = storage;
  SiblingTree(*dir_, storage).Insert(id);
  return id;
}

MiniStream& CompoundFile::Mini() {
  if (!mini_->Loaded()) mini_->Load(false, claims_);
  return *mini_;
}

void CompoundFile::FreeContent(const DirEntry& e) {
  if (e.type != kTypeStream || e.size == 0) return;
  LinkTable& table = e.size < kMiniStreamCutoff ? static_cast<LinkTable&>(*mini_) : *fat_;
  Chain::Whole(table, e.start).Resize(0);
}

void CompoundFile::Destroy(uint32_t id) {
  uint32_t storage = parents_[id];
  Balance(storage);
  SiblingTree(*dir_, storage).Remove(id);
  // Everything below goes too, without recursion (storages may nest deep).
  std::vector<uint32_t> pending{id};
  while (!pending.empty()) {
    uint32_t at = pending.back();
    pending.pop_back();
    const DirEntry& e = dir_->At(at);
    if (e.type == kTypeStorage) {
      std::vector<uint32_t> children = SiblingTree(*dir_, at).InOrder();
      pending.insert(pending.end(), children.begin(), children.end());
      trees_.erase(at);
    }
    FreeContent(e);
    dir_->Release(at);
    parents_[at] = kNoStream;
  }
}

void CompoundFile::SetClass(uint32_t id, const uint8_t* clsid, uint32_t stateBits) {
  DirEntry& e = dir_->At(id);
  std::memcpy(e.clsid, clsid, sizeof e.clsid);
  e.stateBits = stateBits;
  dir_->Touch(id);
}

void CompoundFile::Sync() {
  if (!writable_ || !ready_) return;
  // Tables before the entries that point into them, the header last.
  sectors_->Cover(fat_->End());
  fat_->Store();
  mini_->Store();
  dir_->Store();
  uint8_t raw[kHeaderBytes];
  header_.Serialize(raw);
  if (std::memcmp(raw, written_, sizeof raw) != 0) {
    sectors_->WriteHeader(raw);
    std::memcpy(written_, raw, sizeof raw);
  }
}

void CompoundFile::Flush() {
  Sync();
  if (writable_) sectors_->Flush();
}

}  // namespace slv2::cfb
