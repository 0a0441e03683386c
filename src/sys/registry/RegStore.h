// Linux only: the SQLite database that stands in for the Windows registry
// behind RegApi.h. One file holds the roots HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS as rows of a key tree;
// values keep their kind and bytes. Names are stored as given and found by a
// folded form (upper case of ASCII and of the Windows-1251 letters), so they
// compare case-insensitively and keep their case.
//
// Every change runs inside Change(): one SQLite transaction (BEGIN IMMEDIATE,
// which waits a few seconds at most for other writers), or a savepoint inside
// an explicit Begin() ... Commit(). Reading takes no write lock. The database runs in
// write-ahead-log mode with full syncs, so a killed process leaves it consistent and other
// processes see a change whole or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "sys/registry/RegApi.h"

struct sqlite3;
struct sqlite3_stmt;

namespace slv2::reg {

// A writer waits this long for another process's change to end: an import
// of a script is over in far less, and a database held longer is busy for a
// reason the administrator must hear about, not wait out unseen.
inline constexpr int kRegBusyTimeoutMs = 5000;

// The database file: $SLV2_REGISTRY when set; otherwise
// /var/lib/slv2update/registry.db for root and
// ${XDG_STATE_HOME:-$HOME/.local/state}/slv2update/registry.db for others.
std::string RegistryDatabasePath();

class RegStore {
 public:
  using KeyId = int64_t;

  // Opens the database, creating it and its folder when missing; nullptr with
  // *error (a Windows error code) on failure, kErrorBadDb for a file that is
  // not a registry database (an empty one included) or fails SQLite's quick
  // check. A file that is there is never made anew.
  static std::unique_ptr<RegStore> Open(const std::string& path, uint32_t* error);
  // From now on Open takes a database that does not exist for an empty one
  // in memory, making no file or folder (NeverCreateRegistry).
  static void NeverCreate();
  // Whether Open makes a missing database.
  static bool Creates();
  ~RegStore();
  RegStore(const RegStore&) = delete;
  RegStore& operator=(const RegStore&) = delete;

  // The key of a predefined root, or 0 for a root the store does not hold.
  static KeyId RootId(HKey root);

  // Runs `change` atomically: its writes stand only when it returns success.
  uint32_t Change(const std::function<uint32_t()>& change);
  // An explicit transaction around several changes; or, not for writing, a
  // snapshot that several reads share. Begun inside another, it is a
  // savepoint of it: its Commit leaves its changes to the outer one, its
  // Rollback undoes only them.
  uint32_t Begin(bool forWriting = true);
  uint32_t Commit();
  void Rollback();
  bool InTransaction() const { return depth_ > 0; }

  // kErrorKeyDeleted when the key no longer exists.
  uint32_t CheckKey(KeyId key);
  uint32_t FindChild(KeyId parent, std::u16string_view name, KeyId* child);
  // Inside Change() only.
  uint32_t AddChild(KeyId parent, std::u16string_view name, KeyId* child);
  uint32_t RemoveKey(KeyId key);   // kErrorAccessDenied while it has subkeys
  uint32_t RemoveTree(KeyId key);  // the key, its subkeys and all their values
  uint32_t PutValue(KeyId key, std::u16string_view name, uint32_t type, std::string_view data);
  uint32_t RemoveValue(KeyId key, std::u16string_view name);

  uint32_t GetValue(KeyId key, std::u16string_view name, uint32_t* type, std::string* data);
  uint32_t ChildAt(KeyId parent, uint32_t index, std::u16string* name);
  uint32_t ValueAt(KeyId key, uint32_t index, std::u16string* name, uint32_t* type,
                   std::string* data);
  uint32_t Counts(KeyId key, uint32_t* subKeys, uint32_t* values);

 private:
  // The database at `path` (or ":memory:"), set up.
  static std::unique_ptr<RegStore> OpenDatabase(const std::string& path, uint32_t* error);
  class Query;
  explicit RegStore(sqlite3* db) : db_(db) {}
  uint32_t Exec(const char* sql);
  uint32_t Setup();
  uint32_t ReadVersion(int64_t* version);
  sqlite3_stmt* Prepare(const char* sql);

  sqlite3* db_;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
  int depth_ = 0;  // transactions begun and not ended, the outermost first
};

}  // namespace slv2::reg
