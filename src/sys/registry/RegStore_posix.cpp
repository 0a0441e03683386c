// The SQLite registry store of Linux.
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegStore.h"

namespace slv2::reg {
namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
  CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    UNIQUE(parent, fold));
  CREATE TABLE vals(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, fold));
  INSERT INTO keys(id, parent, name, fold) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),
    (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),
    (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
    (4, NULL, 'HKEY_USERS', 'HKEY_USERS');
  PRAGMA user_version = 1;
)sql";

uint32_t FromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kErrorSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kErrorLockViolation;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kErrorAccessDenied;
    case SQLITE_FULL:
      return kErrorDiskFull;
    case SQLITE_NOMEM:
      return kErrorNotEnoughMemory;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kErrorBadDb;
    default:
      return kErrorRegistryIoFailed;
  }
}

// The folded form under which a name is found: ASCII and the letters of
// Windows-1251 in upper case, everything else as it is.
std::string Fold(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - 32);
    } else if (c >= 0x80 && (c < 0xD800 || c >= 0xE000)) {
      std::string ansi = Utf16ToAnsi(std::u16string_view(&c, 1));
      if (ansi[0] != '?') c = AnsiToUtf16(std::string(1, AnsiUpperChar(ansi[0])))[0];
    }
  }
  return Utf16ToUtf8(folded);
}

bool MakeFolders(const std::string& path, mode_t mode) {
  if (path.empty()) return true;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), mode)) {
    return false;
  }
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// A new database is made whole under a name of its own and then linked to
// its path, so that the file at the path always holds the schema: an empty
// or schema-less file there is damage to report, never a database to make.
uint32_t CreateDatabase(const std::string& path) {
  const std::string made = path + ".new-" + std::to_string(::getpid());
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    ::unlink((made + suffix).c_str());  // what a killed creator of this pid left
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(made.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    // The write-ahead log lets readers go on while a script imports. Where
    // the file system cannot share its index the database keeps its
    // rollback journal, which is as safe, only less concurrent.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    rc = sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
  // Closing the last connection folds the log into the file.
  if (sqlite3_close(db) != SQLITE_OK && rc == SQLITE_OK) rc = SQLITE_IOERR;
  uint32_t error = rc == SQLITE_CANTOPEN ? kErrorAccessDenied : FromSqlite(rc);
  // Another process that made it meanwhile made the same.
  if (error == kErrorSuccess && ::link(made.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    error = errno == EACCES || errno == EPERM || errno == EROFS ? kErrorAccessDenied
                                                                : kErrorRegistryIoFailed;
  }
  ::unlink(made.c_str());
  return error;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

}  // namespace

std::string RegistryDatabasePath() {
  if (const char* path = std::getenv("SLV2_REGISTRY"); path && *path) return path;
  if (::geteuid() == 0) return "/var/lib/slv2update/registry.db";
  // XDG base directory rules: a relative value does not count.
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base = state && *state == '/' ? state : HomeFolder() + "/.local/state";
  return base + "/slv2update/registry.db";
}

// One use of a prepared statement: bound parameters in order, reset when done.
class RegStore::Query {
 public:
  Query(RegStore& store, const char* sql) : stmt_(store.Prepare(sql)) {
    if (!stmt_) rc_ = sqlite3_errcode(store.db_);
  }
  ~Query() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Int(int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, ++bound_, value);
    return *this;
  }
  Query& Text(const std::string& utf8) {
    if (stmt_)
      sqlite3_bind_text(stmt_, ++bound_, utf8.c_str(), static_cast<int>(utf8.size()),
                        SQLITE_TRANSIENT);
    return *this;
  }
  Query& Name(std::u16string_view name) { return Text(Utf16ToUtf8(name)); }
  Query& Folded(std::u16string_view name) { return Text(Fold(name)); }
  Query& Blob(std::string_view data) {
    // A null pointer would bind NULL rather than an empty value.
    if (stmt_)
      sqlite3_bind_blob(stmt_, ++bound_, data.empty() ? "" : data.data(),
                        static_cast<int>(data.size()), SQLITE_TRANSIENT);
    return *this;
  }

  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return stmt_ ? sqlite3_step(stmt_) : rc_; }
  // kErrorSuccess when the statement ran to its end.
  uint32_t Run() {
    int rc = Step();
    return rc == SQLITE_DONE ? kErrorSuccess : FromSqlite(rc == SQLITE_ROW ? SQLITE_ERROR : rc);
  }

  int64_t IntAt(int column) { return sqlite3_column_int64(stmt_, column); }
  std::u16string NameAt(int column) {
    auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return Utf8ToUtf16(std::string_view(text ? text : "", sqlite3_column_bytes(stmt_, column)));
  }
  std::string BlobAt(int column) {
    auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string(data, static_cast<size_t>(size)) : std::string();
  }

 private:
  sqlite3_stmt* stmt_;
  int rc_ = SQLITE_OK;
  int bound_ = 0;
};

namespace {
std::atomic<bool> g_neverCreate{false};
}  // namespace

void RegStore::NeverCreate() {
  g_neverCreate = true;
}

bool RegStore::Creates() {
  return !g_neverCreate;
}

std::unique_ptr<RegStore> RegStore::Open(const std::string& path, uint32_t* error) {
  struct stat st;
  bool missing = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
  // Where nothing may be made, a missing database reads as an empty one.
  if (missing && !Creates()) return OpenDatabase(":memory:", error);
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 &&
      !MakeFolders(path.substr(0, slash), ::geteuid() == 0 ? 0755 : 0700)) {
    *error = errno == EACCES || errno == EPERM || errno == EROFS ? kErrorAccessDenied
                                                                 : kErrorPathNotFound;
    return nullptr;
  }
  // Only a database that is missing is made; one that is there is used as
  // it is or refused.
  if (missing) {
    *error = CreateDatabase(path);
    if (*error != kErrorSuccess) return nullptr;
  }
  return OpenDatabase(path, error);
}

std::unique_ptr<RegStore> RegStore::OpenDatabase(const std::string& path, uint32_t* error) {
  const bool memory = path == ":memory:";
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db,
                           SQLITE_OPEN_READWRITE | (memory ? SQLITE_OPEN_CREATE : 0), nullptr);
  if (rc == SQLITE_OK && memory) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    *error = rc == SQLITE_CANTOPEN ? kErrorAccessDenied : FromSqlite(rc);
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<RegStore> store(new RegStore(db));
  *error = store->Setup();
  if (*error != kErrorSuccess) store.reset();
  return store;
}

RegStore::~RegStore() {
  for (auto& entry : statements_)
    sqlite3_finalize(entry.second);
  sqlite3_close(db_);
}

uint32_t RegStore::Setup() {
  sqlite3_busy_timeout(db_, kRegBusyTimeoutMs);
  sqlite3_extended_result_codes(db_, 1);
  if (uint32_t rc = Exec("PRAGMA synchronous=FULL")) return rc;
  // Reading the version takes no write lock: a database another process is
  // changing can still be read. An empty file reads as version 0.
  int64_t version = 0;
  if (uint32_t rc = ReadVersion(&version)) return rc;
  if (version != kSchemaVersion) return kErrorBadDb;
  // A damaged database is an error now, never a registry that holds nothing.
  Query check(*this, "PRAGMA quick_check(1)");
  int rc = check.Step();
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  return check.NameAt(0) == u"ok" ? kErrorSuccess : kErrorBadDb;
}

uint32_t RegStore::ReadVersion(int64_t* version) {
  Query query(*this, "PRAGMA user_version");
  int rc = query.Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorBadDb : FromSqlite(rc);
  *version = query.IntAt(0);
  return kErrorSuccess;
}

uint32_t RegStore::Exec(const char* sql) {
  return FromSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

sqlite3_stmt* RegStore::Prepare(const char* sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

RegStore::KeyId RegStore::RootId(HKey root) {
  switch (root) {
    case kHkeyClassesRoot:
      return 1;
    case kHkeyCurrentUser:
      return 2;
    case kHkeyLocalMachine:
      return 3;
    case kHkeyUsers:
      return 4;
    default:
      return 0;
  }
}

uint32_t RegStore::Change(const std::function<uint32_t()>& change) {
  bool nested = depth_ > 0;
  if (uint32_t rc = Exec(nested ? "SAVEPOINT change" : "BEGIN IMMEDIATE")) return rc;
  uint32_t result = change();
  if (result == kErrorSuccess) {
    result = Exec(nested ? "RELEASE change" : "COMMIT");
    if (result == kErrorSuccess) return result;
  }
  if (nested) {
    Exec("ROLLBACK TO change");
    Exec("RELEASE change");
  } else if (!sqlite3_get_autocommit(db_)) {
    Exec("ROLLBACK");
  }
  return result;
}

uint32_t RegStore::Begin(bool forWriting) {
  // A deferred transaction reads one snapshot without locking out writers.
  uint32_t rc = Exec(depth_ > 0   ? "SAVEPOINT nested"
                     : forWriting ? "BEGIN IMMEDIATE"
                                  : "BEGIN DEFERRED");
  if (rc == kErrorSuccess) ++depth_;
  return rc;
}

uint32_t RegStore::Commit() {
  uint32_t rc = Exec(depth_ > 1 ? "RELEASE nested" : "COMMIT");
  if (rc != kErrorSuccess) return Rollback(), rc;
  --depth_;
  return rc;
}

void RegStore::Rollback() {
  if (depth_ > 1) {
    Exec("ROLLBACK TO nested");
    Exec("RELEASE nested");
    --depth_;
    return;
  }
  if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
  depth_ = 0;
}

uint32_t RegStore::CheckKey(KeyId key) {
  Query q(*this, "SELECT 1 FROM keys WHERE id = ?");
  int rc = q.Int(key).Step();
  return rc == SQLITE_ROW ? kErrorSuccess : rc == SQLITE_DONE ? kErrorKeyDeleted : FromSqlite(rc);
}

uint32_t RegStore::FindChild(KeyId parent, std::u16string_view name, KeyId* child) {
  Query q(*this, "SELECT id FROM keys WHERE parent = ? AND fold = ?");
  int rc = q.Int(parent).Folded(name).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorFileNotFound : FromSqlite(rc);
  *child = q.IntAt(0);
  return kErrorSuccess;
}

uint32_t RegStore::AddChild(KeyId parent, std::u16string_view name, KeyId* child) {
  Query q(*this, "INSERT INTO keys(parent, name, fold) VALUES(?, ?, ?)");
  uint32_t rc = q.Int(parent).Name(name).Folded(name).Run();
  if (rc == kErrorSuccess) *child = sqlite3_last_insert_rowid(db_);
  return rc;
}

uint32_t RegStore::RemoveKey(KeyId key) {
  {
    Query q(*this, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    int rc = q.Int(key).Step();
    if (rc == SQLITE_ROW) return kErrorAccessDenied;
    if (rc != SQLITE_DONE) return FromSqlite(rc);
  }
  if (uint32_t rc = Query(*this, "DELETE FROM vals WHERE key = ?").Int(key).Run()) return rc;
  return Query(*this, "DELETE FROM keys WHERE id = ?").Int(key).Run();
}

uint32_t RegStore::RemoveTree(KeyId key) {
  // Values first: the key rows are what finds them.
  uint32_t rc = Query(*this,
                      "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
                      "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
                      "DELETE FROM vals WHERE key IN tree")
                    .Int(key)
                    .Run();
  if (rc != kErrorSuccess) return rc;
  return Query(*this,
               "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
               "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
               "DELETE FROM keys WHERE id IN tree")
      .Int(key)
      .Run();
}

uint32_t RegStore::PutValue(KeyId key, std::u16string_view name, uint32_t type,
                            std::string_view data) {
  return Query(*this,
               "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?) "
               "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data")
      .Int(key)
      .Name(name)
      .Folded(name)
      .Int(type)
      .Blob(data)
      .Run();
}

uint32_t RegStore::RemoveValue(KeyId key, std::u16string_view name) {
  uint32_t rc =
      Query(*this, "DELETE FROM vals WHERE key = ? AND fold = ?").Int(key).Folded(name).Run();
  if (rc == kErrorSuccess && sqlite3_changes(db_) == 0) return kErrorFileNotFound;
  return rc;
}

uint32_t RegStore::GetValue(KeyId key, std::u16string_view name, uint32_t* type,
                            std::string* data) {
  Query q(*this, "SELECT type, data FROM vals WHERE key = ? AND fold = ?");
  int rc = q.Int(key).Folded(name).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorFileNotFound : FromSqlite(rc);
  *type = static_cast<uint32_t>(q.IntAt(0));
  *data = q.BlobAt(1);
  return kErrorSuccess;
}

uint32_t RegStore::ChildAt(KeyId parent, uint32_t index, std::u16string* name) {
  Query q(*this, "SELECT name FROM keys WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
  int rc = q.Int(parent).Int(index).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorNoMoreItems : FromSqlite(rc);
  *name = q.NameAt(0);
  return kErrorSuccess;
}

uint32_t RegStore::ValueAt(KeyId key, uint32_t index, std::u16string* name, uint32_t* type,
                           std::string* data) {
  Query q(*this, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
  int rc = q.Int(key).Int(index).Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorNoMoreItems : FromSqlite(rc);
  *name = q.NameAt(0);
  *type = static_cast<uint32_t>(q.IntAt(1));
  *data = q.BlobAt(2);
  return kErrorSuccess;
}

uint32_t RegStore::Counts(KeyId key, uint32_t* subKeys, uint32_t* values) {
  Query q(*this,
          "SELECT (SELECT count(*) FROM keys WHERE parent = ?1), "
          "(SELECT count(*) FROM vals WHERE key = ?1)");
  int rc = q.Int(key).Step();
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  *subKeys = static_cast<uint32_t>(q.IntAt(0));
  *values = static_cast<uint32_t>(q.IntAt(1));
  return kErrorSuccess;
}

}  // namespace slv2::reg
