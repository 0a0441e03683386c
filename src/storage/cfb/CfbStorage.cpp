#include "storage/cfb/CfbStorage.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "storage/cfb/CompoundFile.h"
#include "storage/cfb/Error.h"
#include "storage/cfb/Mode.h"
#include "storage/cfb/Names.h"
#include "storage/cfb/StreamData.h"

namespace slv2::cfb {

namespace {

using stg::HRESULT;

// Runs an operation, turning engine failures into their HRESULTs.
template <class Body>
HRESULT Guard(Body&& body) {
  try {
    return body();
  } catch (const CfbError& e) {
    return e.Code();
  } catch (const std::bad_alloc&) {
    return stg::kStgEInsufficientMemory;
  } catch (const std::length_error&) {
    return stg::kStgEInsufficientMemory;
  }
}

void FillStat(const DirEntry& e, uint32_t mode, uint32_t flags, stg::StatStg* record) {
  *record = stg::StatStg();
  if (!(flags & stg::kStatFlagNoName)) record->name.assign(e.Name());
  bool stream = e.type == kTypeStream;
  record->type = stream ? stg::kStgTyStream : stg::kStgTyStorage;
  record->size = stream ? e.size : 0;
  record->mtime = e.mtime;
  record->ctime = e.ctime;
  record->mode = mode & ~(stg::kStgmCreate | stg::kStgmConvert);
  std::memcpy(record->clsid, e.clsid, sizeof record->clsid);
  record->stateBits = e.stateBits;
}

class EnumObject final : public stg::IEnumStatStg {
 public:
  explicit EnumObject(std::vector<stg::StatStg> records) : records_(std::move(records)) {}

  HRESULT Next(uint32_t count, stg::StatStg* records, uint32_t* fetched) override {
    size_t n = std::min<size_t>(count, records_.size() - next_);
    for (size_t i = 0; i < n; ++i)
      records[i] = std::move(records_[next_ + i]);
    next_ += n;
    if (fetched) *fetched = static_cast<uint32_t>(n);
    return n == count ? stg::kS_OK : stg::kS_FALSE;
  }

 private:
  std::vector<stg::StatStg> records_;
  size_t next_ = 0;
};

class StreamObject final : public stg::IStream {
 public:
  StreamObject(std::shared_ptr<CompoundFile> file, uint32_t entry, uint32_t mode, bool writable)
      : file_(std::move(file)),
        entry_(entry),
        mode_(mode),
        writable_(writable),
        data_(*file_, entry) {
    file_->MarkOpen(entry_);
  }
  ~StreamObject() override { file_->MarkClosed(entry_); }

  HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override {
    if (read) *read = 0;
    if (!CanRead(mode_)) return stg::kStgEAccessDenied;
    return Guard([&] {
      size_t done = data_.Read(position_, buffer, count);
      position_ += done;
      if (read) *read = static_cast<uint32_t>(done);
      return done < count ? stg::kS_FALSE : stg::kS_OK;
    });
  }

  HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) override {
    if (written) *written = 0;
    if (!writable_) return stg::kStgEAccessDenied;
    return Guard([&] {
      data_.Write(position_, buffer, count);
      position_ += count;
      if (written) *written = count;
      return stg::kS_OK;
    });
  }

  HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override {
    int64_t base;
    switch (origin) {
      case stg::kStreamSeekSet:
        base = 0;
        break;
      case stg::kStreamSeekCur:
        base = static_cast<int64_t>(position_);
        break;
      case stg::kStreamSeekEnd:
        base = static_cast<int64_t>(data_.Size());
        break;
      default:
        return stg::kStgEInvalidFunction;
    }
    if ((move < 0 && base + move < 0) || (move > 0 && base > INT64_MAX - move))
      return stg::kStgEInvalidFunction;
    position_ = static_cast<uint64_t>(base + move);
    if (newPosition) *newPosition = position_;
    return stg::kS_OK;
  }

  HRESULT SetSize(uint64_t size) override {
    if (!writable_) return stg::kStgEAccessDenied;
    return Guard([&] {
      data_.SetSize(size);
      return stg::kS_OK;
    });
  }

  HRESULT Stat(stg::StatStg* record, uint32_t flags) override {
    return Guard([&] {
      FillStat(file_->Entry(entry_), mode_, flags, record);
      record->size = data_.Size();
      return stg::kS_OK;
    });
  }

 private:
  std::shared_ptr<CompoundFile> file_;
  uint32_t entry_;
  uint32_t mode_;
  bool writable_;
  StreamData data_;
  uint64_t position_ = 0;
};

class StorageObject final : public stg::IStorage {
 public:
  StorageObject(std::shared_ptr<CompoundFile> file, uint32_t entry, uint32_t mode, bool writable)
      : file_(std::move(file)), entry_(entry), mode_(mode), writable_(writable) {
    if (entry_ != 0) file_->MarkOpen(entry_);
  }
  ~StorageObject() override {
    if (entry_ != 0) file_->MarkClosed(entry_);
  }

  HRESULT CreateStream(std::u16string_view name, uint32_t mode,
                       std::unique_ptr<stg::IStream>* stream) override {
    stream->reset();
    return Guard([&] {
      uint32_t id;
      HRESULT hr = MakeChild(name, mode, kTypeStream, &id);
      if (hr == stg::kS_OK)
        *stream = std::make_unique<StreamObject>(file_, id, mode, CanWrite(mode));
      return hr;
    });
  }

  HRESULT OpenStream(std::u16string_view name, uint32_t mode,
                     std::unique_ptr<stg::IStream>* stream) override {
    stream->reset();
    return Guard([&] {
      uint32_t id;
      HRESULT hr = FindChild(name, mode, kTypeStream, &id);
      if (hr == stg::kS_OK)
        *stream = std::make_unique<StreamObject>(file_, id, mode, CanWrite(mode));
      return hr;
    });
  }

  HRESULT CreateStorage(std::u16string_view name, uint32_t mode,
                        std::unique_ptr<stg::IStorage>* storage) override {
    storage->reset();
    return Guard([&] {
      uint32_t id;
      HRESULT hr = MakeChild(name, mode, kTypeStorage, &id);
      if (hr == stg::kS_OK)
        *storage = std::make_unique<StorageObject>(file_, id, mode, CanWrite(mode));
      return hr;
    });
  }

  HRESULT OpenStorage(std::u16string_view name, uint32_t mode,
                      std::unique_ptr<stg::IStorage>* storage) override {
    storage->reset();
    return Guard([&] {
      uint32_t id;
      HRESULT hr = FindChild(name, mode, kTypeStorage, &id);
      if (hr == stg::kS_OK)
        *storage = std::make_unique<StorageObject>(file_, id, mode, CanWrite(mode));
      return hr;
    });
  }

  HRESULT CopyTo(stg::IStorage& destination) override;

  HRESULT Commit(uint32_t flags) override {
    // STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE: written, not made durable.
    constexpr uint32_t kOnlyToDiskCache = 4;
    if (!writable_) return stg::kS_OK;
    return Guard([&] {
      if (flags & kOnlyToDiskCache) {
        file_->Sync();
      } else {
        file_->Flush();
      }
      return stg::kS_OK;
    });
  }

  HRESULT EnumElements(std::unique_ptr<stg::IEnumStatStg>* enumerator) override {
    enumerator->reset();
    return Guard([&] {
      std::vector<stg::StatStg> records;
      for (uint32_t id : file_->Children(entry_)) {
        FillStat(file_->Entry(id), 0, stg::kStatFlagDefault, &records.emplace_back());
      }
      *enumerator = std::make_unique<EnumObject>(std::move(records));
      return stg::kS_OK;
    });
  }

  HRESULT DestroyElement(std::u16string_view name) override {
    if (!IsValidLookupName(name)) return stg::kStgEInvalidName;
    if (!writable_) return stg::kStgEAccessDenied;
    return Guard([&] {
      uint32_t id = file_->Find(entry_, name);
      if (id == kNoStream) return stg::kStgEFileNotFound;
      if (file_->InUse(id)) return stg::kStgEAccessDenied;
      file_->Destroy(id);
      return stg::kS_OK;
    });
  }

  HRESULT Stat(stg::StatStg* record, uint32_t flags) override {
    return Guard([&] {
      FillStat(file_->Entry(entry_), mode_, flags, record);
      return stg::kS_OK;
    });
  }

 private:
  // A new child, replacing an existing one only with STGM_CREATE.
  HRESULT MakeChild(std::u16string_view name, uint32_t mode, uint8_t type, uint32_t* id) {
    if (HRESULT hr = CheckMode(mode, ModeUse::kCreateElement); hr != stg::kS_OK) return hr;
    if (!IsValidNewName(name)) return stg::kStgEInvalidName;
    if (!writable_) return stg::kStgEAccessDenied;
    uint32_t existing = file_->Find(entry_, name);
    if (existing != kNoStream) {
      if (!(mode & stg::kStgmCreate)) return stg::kStgEFileAlreadyExists;
      if (file_->InUse(existing)) return stg::kStgEAccessDenied;
      file_->Destroy(existing);
    }
    *id = file_->Add(entry_, name, type);
    return stg::kS_OK;
  }

  HRESULT FindChild(std::u16string_view name, uint32_t mode, uint8_t type, uint32_t* id) {
    if (HRESULT hr = CheckMode(mode, ModeUse::kOpenElement); hr != stg::kS_OK) return hr;
    if (!IsValidLookupName(name)) return stg::kStgEInvalidName;
    if (CanWrite(mode) && !writable_) return stg::kStgEAccessDenied;
    *id = file_->Find(entry_, name);
    if (*id == kNoStream || file_->Entry(*id).type != type) return stg::kStgEFileNotFound;
    if (file_->IsOpen(*id)) return stg::kStgEAccessDenied;
    return stg::kS_OK;
  }

  // Copying into the source itself, or into a storage below it, would never
  // end.
  bool InsideSource(stg::IStorage& storage) const {
    auto* ours = dynamic_cast<StorageObject*>(&storage);
    return ours && ours->file_ == file_ && file_->IsWithin(ours->entry_, entry_);
  }

  HRESULT CopyStream(uint32_t source, std::u16string_view name, stg::IStorage& target);
  // The class and state bits go with a storage's content.
  static void CopyClass(const DirEntry& source, stg::IStorage& target);

  std::shared_ptr<CompoundFile> file_;
  uint32_t entry_;
  uint32_t mode_;
  bool writable_;
};

HRESULT StorageObject::CopyStream(uint32_t source, std::u16string_view name,
                                  stg::IStorage& target) {
  constexpr uint32_t kCreate = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;
  std::unique_ptr<stg::IStream> out;
  if (HRESULT hr = target.CreateStream(name, kCreate, &out); hr != stg::kS_OK) return hr;
  StreamData data(*file_, source);
  std::vector<uint8_t> buffer(64 * 1024);
  for (uint64_t at = 0; at < data.Size();) {
    size_t n = data.Read(at, buffer.data(), buffer.size());
    uint32_t written = 0;
    if (HRESULT hr = out->Write(buffer.data(), static_cast<uint32_t>(n), &written);
        hr != stg::kS_OK)
      return hr;
    at += n;
  }
  return stg::kS_OK;
}

void StorageObject::CopyClass(const DirEntry& source, stg::IStorage& target) {
  auto* ours = dynamic_cast<StorageObject*>(&target);
  if (!ours || !ours->writable_) return;
  ours->file_->SetClass(ours->entry_, source.clsid, source.stateBits);
}

HRESULT StorageObject::CopyTo(stg::IStorage& destination) {
  return Guard([&] {
    constexpr uint32_t kOpen = stg::kStgmReadWrite | stg::kStgmShareExclusive;
    if (InsideSource(destination)) return stg::kStgEAccessDenied;
    CopyClass(DirEntry(file_->Entry(entry_)), destination);
    // Storages are copied level by level from a list, not by recursion:
    // nesting in a file can be as deep as it has entries.
    struct Level {
      uint32_t source;
      stg::IStorage* target;
      std::unique_ptr<stg::IStorage> owned;
    };
    std::vector<Level> pending;
    pending.push_back({entry_, &destination, nullptr});
    while (!pending.empty()) {
      Level level = std::move(pending.back());
      pending.pop_back();
      for (uint32_t child : file_->Children(level.source)) {
        // Copies, not references: writing into this same file may move the
        // directory in memory.
        DirEntry e = file_->Entry(child);
        std::u16string name(e.Name());
        HRESULT hr;
        if (e.type == kTypeStream) {
          hr = CopyStream(child, name, *level.target);
          if (hr != stg::kS_OK) return hr;
          continue;
        }
        std::unique_ptr<stg::IStorage> sub;
        hr = level.target->OpenStorage(name, kOpen, &sub);
        if (hr == stg::kStgEFileNotFound)
          hr = level.target->CreateStorage(name, kOpen | stg::kStgmCreate, &sub);
        if (hr != stg::kS_OK) return hr;
        if (InsideSource(*sub)) return stg::kStgEAccessDenied;
        CopyClass(e, *sub);
        stg::IStorage* target = sub.get();
        pending.push_back({child, target, std::move(sub)});
      }
    }
    return stg::kS_OK;
  });
}

// Opens a file, or creates one of `version` (3 or 4) when `version` is not 0.
HRESULT OpenOn(std::shared_ptr<LockBytes> bytes, uint32_t mode,
               std::unique_ptr<stg::IStorage>* storage, int version) {
  bool writable = CanWrite(mode);
  auto file = version != 0 ? CompoundFile::Create(std::move(bytes), version)
                           : CompoundFile::Open(std::move(bytes), writable);
  *storage = std::make_unique<StorageObject>(std::move(file), 0, mode, writable);
  return stg::kS_OK;
}

}  // namespace

HRESULT CreateDocfileOn(std::shared_ptr<LockBytes> bytes, uint32_t mode,
                        std::unique_ptr<stg::IStorage>* storage, int version) {
  storage->reset();
  if (HRESULT hr = CheckMode(mode, ModeUse::kCreateRoot); hr != stg::kS_OK) return hr;
  if (version != 3 && version != 4) return stg::kStgEInvalidParameter;
  return Guard([&] { return OpenOn(std::move(bytes), mode, storage, version); });
}

HRESULT OpenDocfileOn(std::shared_ptr<LockBytes> bytes, uint32_t mode,
                      std::unique_ptr<stg::IStorage>* storage) {
  storage->reset();
  if (HRESULT hr = CheckMode(mode, ModeUse::kOpenRoot); hr != stg::kS_OK) return hr;
  return Guard([&] { return OpenOn(std::move(bytes), mode, storage, 0); });
}

HRESULT CreateDocfile(const std::string& fileName, uint32_t mode,
                      std::unique_ptr<stg::IStorage>* storage, int version) {
  storage->reset();
  if (HRESULT hr = CheckMode(mode, ModeUse::kCreateRoot); hr != stg::kS_OK) return hr;
  if (fileName.empty()) return stg::kStgEInvalidName;
  if (version != 3 && version != 4) return stg::kStgEInvalidParameter;
  return Guard([&] {
    uint32_t disposition = (mode & stg::kStgmCreate) ? fs::kCreateAlways : fs::kCreateNew;
    auto bytes =
        std::make_shared<FileLockBytes>(fileName, FileAccess(mode), FileShare(mode), disposition);
    return OpenOn(std::move(bytes), mode, storage, version);
  });
}

HRESULT OpenDocfile(const std::string& fileName, uint32_t mode,
                    std::unique_ptr<stg::IStorage>* storage) {
  storage->reset();
  if (HRESULT hr = CheckMode(mode, ModeUse::kOpenRoot); hr != stg::kS_OK) return hr;
  if (fileName.empty()) return stg::kStgEInvalidName;
  return Guard([&] {
    auto bytes = std::make_shared<FileLockBytes>(fileName, FileAccess(mode), FileShare(mode),
                                                 fs::kOpenExisting);
    return OpenOn(std::move(bytes), mode, storage, 0);
  });
}

}  // namespace slv2::cfb
