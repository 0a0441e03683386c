// Linux twin of the platform registry: open-key handles and access rights over
// the SQLite store.
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "sys/Cp1251.h"
#include "sys/Exception.h"
#include "sys/Format.h"
#include "sys/WinError.h"
#include "sys/registry/RegApi.h"
#include "sys/registry/RegStore.h"

namespace slv2::reg {
namespace {

using KeyId = RegStore::KeyId;

// The limits of the Windows registry.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct OpenKeyEntry {
  KeyId id;
  uint32_t access;
};

// The process's connection to the store. It follows the database path, so a
// changed $SLV2_REGISTRY takes effect at the next call (the handles of the old
// database become invalid), and a child made by fork opens its own connection
// instead of sharing its parent's.
class Connection {
 public:
  std::mutex mutex;

  ~Connection() { LeaveParentsStore(); }

  // The store, opened or reopened as needed; nullptr with *error on failure.
  RegStore* Store(uint32_t* error) {
    if (RegStore* current = Current()) return current;
    LeaveParentsStore();
    store_.reset();
    handles_.clear();
    path_ = RegistryDatabasePath();
    pid_ = ::getpid();
    store_ = RegStore::Open(path_, error);
    return store_.get();
  }
  // The store when it is still the one to use, else nullptr.
  RegStore* Current() const {
    bool same = store_ && pid_ == ::getpid() && path_ == RegistryDatabasePath();
    return same ? store_.get() : nullptr;
  }

  HKey Add(KeyId id, uint32_t access) {
    // Handles never take the values of the predefined roots.
    if (next_ >= kHkeyClassesRoot && next_ <= kHkeyDynData) next_ = kHkeyDynData + 1;
    HKey key = next_++;
    handles_[key] = {id, access};
    return key;
  }
  bool Remove(HKey key) { return handles_.erase(key) > 0; }
  const OpenKeyEntry* Find(HKey key) const {
    auto found = handles_.find(key);
    return found == handles_.end() ? nullptr : &found->second;
  }

 private:
  // A connection inherited through fork belongs to the parent: closing it
  // here could disturb the parent's locks, so it is left alone.
  void LeaveParentsStore() {
    if (store_ && pid_ != ::getpid()) (void)store_.release();
  }

  std::unique_ptr<RegStore> store_;
  std::string path_;
  pid_t pid_ = 0;
  std::map<HKey, OpenKeyEntry> handles_;
  HKey next_ = 0x100;
};

Connection& TheConnection() {
  static Connection connection;
  return connection;
}

// The store and the key behind a handle, for one call under the lock.
struct Call {
  std::lock_guard<std::mutex> lock{TheConnection().mutex};
  RegStore* store = nullptr;
  KeyId id = 0;
  uint32_t access = 0;

  // kErrorInvalidHandle for an unknown handle or a root the store does not
  // hold, kErrorAccessDenied when the handle lacks `needed`.
  uint32_t Resolve(HKey key, uint32_t needed) {
    uint32_t error = kErrorSuccess;
    store = TheConnection().Store(&error);
    if (!store) return error;
    if (KeyId root = RegStore::RootId(key)) {
      id = root;
      access = kKeyAllAccess;
      return kErrorSuccess;
    }
    const OpenKeyEntry* entry = TheConnection().Find(key);
    if (!entry) return kErrorInvalidHandle;
    if ((entry->access & needed) != needed) return kErrorAccessDenied;
    id = entry->id;
    access = entry->access;
    return store->CheckKey(id);
  }
};

// The names of a key path; one trailing "\" is allowed, empty names are not.
uint32_t SplitPath(std::u16string_view path, std::vector<std::u16string_view>* names) {
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  while (!path.empty()) {
    size_t end = path.find(u'\\');
    std::u16string_view name = path.substr(0, end);
    if (name.empty()) return kErrorBadPathname;
    if (name.size() > kMaxKeyNameLength) return kErrorInvalidParameter;
    names->push_back(name);
    path = end == std::u16string_view::npos ? std::u16string_view() : path.substr(end + 1);
  }
  return kErrorSuccess;
}

uint32_t Walk(RegStore& store, KeyId from, std::u16string_view path, KeyId* found) {
  std::vector<std::u16string_view> names;
  if (uint32_t rc = SplitPath(path, &names)) return rc;
  for (auto name : names) {
    if (uint32_t rc = store.FindChild(from, name, &from)) return rc;
  }
  *found = from;
  return kErrorSuccess;
}

}  // namespace

uint32_t OpenKey(HKey parent, std::u16string_view subKey, uint32_t access, HKey* result) {
  Call call;
  if (uint32_t rc = call.Resolve(parent, 0)) return rc;
  KeyId id;
  if (uint32_t rc = Walk(*call.store, call.id, subKey, &id)) return rc;
  *result = TheConnection().Add(id, access);
  return kErrorSuccess;
}

uint32_t CreateKey(HKey parent, std::u16string_view subKey, uint32_t access, HKey* result,
                   bool* created) {
  Call call;
  if (uint32_t rc = call.Resolve(parent, 0)) return rc;
  std::vector<std::u16string_view> names;
  if (uint32_t rc = SplitPath(subKey, &names)) return rc;
  KeyId id = call.id;
  bool made = false;
  uint32_t rc = call.store->Change([&]() -> uint32_t {
    id = call.id;
    made = false;
    for (auto name : names) {
      uint32_t found = call.store->FindChild(id, name, &id);
      if (found == kErrorFileNotFound) {
        if ((call.access & kKeyCreateSubKey) == 0) return kErrorAccessDenied;
        found = call.store->AddChild(id, name, &id);
        made = true;
      }
      if (found != kErrorSuccess) return found;
    }
    return kErrorSuccess;
  });
  if (rc != kErrorSuccess) return rc;
  if (created) *created = made;
  *result = TheConnection().Add(id, access);
  return kErrorSuccess;
}

uint32_t CloseKey(HKey key) {
  if (key >= kHkeyClassesRoot && key <= kHkeyDynData) return kErrorSuccess;
  std::lock_guard<std::mutex> lock(TheConnection().mutex);
  return TheConnection().Remove(key) ? kErrorSuccess : kErrorInvalidHandle;
}

uint32_t QueryValue(HKey key, std::u16string_view name, uint32_t* type, std::string* data) {
  Call call;
  if (uint32_t rc = call.Resolve(key, kKeyQueryValue)) return rc;
  return call.store->GetValue(call.id, name, type, data);
}

uint32_t SetValue(HKey key, std::u16string_view name, uint32_t type, std::string_view data) {
  if (name.size() > kMaxValueNameLength) return kErrorInvalidParameter;
  Call call;
  if (uint32_t rc = call.Resolve(key, kKeySetValue)) return rc;
  return call.store->Change([&] { return call.store->PutValue(call.id, name, type, data); });
}

uint32_t DeleteValue(HKey key, std::u16string_view name) {
  Call call;
  if (uint32_t rc = call.Resolve(key, kKeySetValue)) return rc;
  return call.store->Change([&] { return call.store->RemoveValue(call.id, name); });
}

namespace {

// Deletes the key at subKey below parent with `remove` (a key or a tree);
// an empty subKey names the open key itself, never a root.
uint32_t DeleteBelow(HKey parent, std::u16string_view subKey, uint32_t (RegStore::*remove)(KeyId)) {
  Call call;
  if (uint32_t rc = call.Resolve(parent, 0)) return rc;
  return call.store->Change([&]() -> uint32_t {
    KeyId id;
    if (uint32_t rc = Walk(*call.store, call.id, subKey, &id)) return rc;
    if (id == RegStore::RootId(parent)) return kErrorAccessDenied;
    return (call.store->*remove)(id);
  });
}

}  // namespace

uint32_t DeleteKey(HKey parent, std::u16string_view subKey) {
  return DeleteBelow(parent, subKey, &RegStore::RemoveKey);
}

uint32_t DeleteTree(HKey parent, std::u16string_view subKey) {
  return DeleteBelow(parent, subKey, &RegStore::RemoveTree);
}

uint32_t EnumKey(HKey key, uint32_t index, std::u16string* name) {
  Call call;
  if (uint32_t rc = call.Resolve(key, kKeyEnumerateSubKeys)) return rc;
  return call.store->ChildAt(call.id, index, name);
}

uint32_t EnumValue(HKey key, uint32_t index, std::u16string* name, uint32_t* type,
                   std::string* data) {
  Call call;
  if (uint32_t rc = call.Resolve(key, kKeyQueryValue)) return rc;
  return call.store->ValueAt(call.id, index, name, type, data);
}

uint32_t QueryInfoKey(HKey key, uint32_t* subKeys, uint32_t* values) {
  Call call;
  if (uint32_t rc = call.Resolve(key, kKeyQueryValue)) return rc;
  return call.store->Counts(call.id, subKeys, values);
}

Transaction::~Transaction() {
  if (!active_) return;
  std::lock_guard<std::mutex> lock(TheConnection().mutex);
  if (RegStore* store = TheConnection().Current()) store->Rollback();
}

uint32_t Transaction::Begin(bool forWriting) {
  SLV2_ASSERT(!active_, "RegApi");
  Call call;
  if (uint32_t rc = call.Resolve(kHkeyLocalMachine, 0)) return rc;
  if (uint32_t rc = call.store->Begin(forWriting)) return rc;
  active_ = true;
  return kErrorSuccess;
}

uint32_t Transaction::Commit() {
  SLV2_ASSERT(active_, "RegApi");
  active_ = false;
  std::lock_guard<std::mutex> lock(TheConnection().mutex);
  RegStore* store = TheConnection().Current();
  // A store reopened meanwhile (another database path) holds nothing of ours.
  if (!store || !store->InTransaction()) return kErrorInvalidHandle;
  return store->Commit();
}

uint32_t CheckRegistry() {
  Call call;
  if (uint32_t rc = call.Resolve(kHkeyLocalMachine, 0)) return rc;
  if (call.store->InTransaction()) return kErrorSuccess;
  uint32_t rc = call.store->Begin(true);
  call.store->Rollback();
  return rc;
}

std::string RegistryErrorText(uint32_t code) {
  std::string database = Utf8ToAnsi(RegistryDatabasePath());
  if (code == kErrorLockViolation) {
    return Format("the registry database \"%s\" is busy: another process has held it for %d s",
                  database.c_str(), kRegBusyTimeoutMs / 1000);
  }
  return Format("%s (registry database \"%s\")", SysErrorMessage(code).c_str(), database.c_str());
}

void NeverCreateRegistry() {
  RegStore::NeverCreate();
}

}  // namespace slv2::reg
